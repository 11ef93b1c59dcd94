#pragma once
// The main window. Its constructor runs the start-up sequence: workspace
// root, run-state marker, log, widgets from the form, reference data,
// default project, status bar, face actions, connections. Construction never
// fails: a missing log/ or an unwritable workspace is reported on the
// console and start-up goes on. The window is built hidden; the start panel
// shows it once a project is created or opened.
//
// The scene tree, attribute panel, 3D views, preview and bundle list get
// their controllers separately; the places where those plug in are marked
// "Hook:" below and in the source.

#include "scene/ProjectDocument.h"

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>

class PackRunner;
class TreeViewController;
class VexaViewController;
class BundleParamSink;
class QTranslator;
class QPushButton;

namespace Ui {
class LumoEditorClass;
}

class LumoEditor : public QMainWindow {
    Q_OBJECT
public:
    explicit LumoEditor(QWidget* parent = nullptr);
    ~LumoEditor() override;

    // The current directory at start-up, forward slashes, no trailing separator.
    const std::string& workspaceRoot() const { return m_root; }

    // Lays the window out for a project type (flags 1 2D, 2 3D, 4 avatar):
    // which attribute panel shows, the four views restored, the language
    // applied 100 ms later (OnChangeLangTimer).
    void setupForProjectType(int32_t type);

    // Makes the button's view fill the view area ("-"), or restores all four
    // views ("+") when it already does. Buttons other than the four
    // maximise buttons are ignored.
    void on_Btn_Maximize(QPushButton* button);

    // True while a pack started by onPackBundle runs.
    bool isPacking() const;

    // Language codes of the translation files: "cn" and "en".
    static QString rememberedLanguage();

public slots:
    // Packs the current project into its bundle (2D or 3D by the project
    // type) with the option of the matching pack combo box; the outcome goes
    // to the status bar and the console. The pack buttons are disabled while
    // it runs; a second start while one runs is refused (status bar).
    void onPackBundle();
    // Shows the current project's folder in the desktop's file manager.
    void onOpenFileExplorer();
    // The Language menu: applies the chosen language and remembers it.
    void onLanguageChange();
    // Applies the remembered language (Chinese until one was chosen).
    void OnChangeLangTimer();
    void OnViewHelp();
    void OnAbout();
    // Opens the project file at path (empty: asks for one). Filter projects
    // are refused with a warning and the current project stays as it was.
    // False when nothing was opened.
    bool openProject(const QString& path = QString());
    // Creates and saves a new, empty project (type 0 or empty name: asks
    // with the new-project dialog). False when nothing was created.
    bool createProject(int32_t type = 0, const QString& name = QString());
    // The views' context menu: Portrait / Landscape.
    void OnCustomContextMenu(const QPoint& point);
    void setPreviews2Portraint();
    void setPreviews2Landscape();
    void setVexaPreviews2Portraint();
    void setVexaPreviews2Landscape();

signals:
    // Emitted when a pack started by onPackBundle has ended.
    void packFinished(bool ok);

public:
    TreeViewController* treeController() const { return m_tree; }
    VexaViewController* bundleController() const { return m_bundles; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openLog();
    void buildWidgets();
    // The status bar: message label, second label and progress bar, handed
    // to the StatusBarController.
    void buildStatusBar();
    void connectActions();
    void fillFaceActionChoices();
    // Loads data/language/<code>.qm and re-applies every form text; false
    // (texts unchanged) when the file cannot be loaded.
    bool applyLanguage(const QString& code);
    void updateTitle();
    void setPhoneOrientation(int32_t orientation);
    void showStatus(const QString& text, int milliseconds = 5000);
    void warn(const QString& title, const QString& text);
    // Writes the current project file (status bar: "Project Saved" or
    // "Project Failed").
    bool saveCurrentProject();
    void setPackButtonsEnabled(bool enabled);

    std::unique_ptr<Ui::LumoEditorClass> ui;
    std::string m_root;
    QPointer<QTranslator> m_translator;
    QAction* m_cleanCache = nullptr; // File > Clean pack cache, made in code
    PackRunner* m_packRunner; // child of the window
    TreeViewController* m_tree = nullptr; // child of the window
    VexaViewController* m_bundles = nullptr; // child of the window
    std::unique_ptr<BundleParamSink> m_paramSink; // slider pushes to the preview
};
