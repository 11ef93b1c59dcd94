#pragma once
// The main window. Its constructor runs the start-up sequence: workspace
// root, run-state marker, log, reference data, default project, status bar,
// face actions. Construction never fails: a missing log/ or an unwritable
// workspace is reported on the console and start-up goes on.

#include <QMainWindow>
#include <string>

class LumoEditor : public QMainWindow {
    Q_OBJECT
public:
    explicit LumoEditor(QWidget* parent = nullptr);
    ~LumoEditor() override;

    // The current directory at start-up, forward slashes, no trailing separator.
    const std::string& workspaceRoot() const { return m_root; }

public slots:
    // Packs the current project into its bundle (2D or 3D by the project
    // type) with the option of the matching pack combo box; the outcome goes
    // to the status bar and the console.
    void onPackBundle();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void openLog();
    void buildWidgets();
    // The status bar: message label, second label and progress bar, handed
    // to the StatusBarController.
    void buildStatusBar();
    // Index of the pack option combo box for the project type (p_cmb_pack
    // for 2D, p_cmb_pack_3d otherwise); 0 ("Auto") while it has none.
    int packOption(int projectType) const;

    std::string m_root;
};
