#include "app/LumoEditor.h"

#include "app/BundleParamSink.h"
#include "app/CreateProjectDialog.h"
#include "app/PackRunner.h"
#include "app/ProjectList.h"
#include "app/ProjectNames.h"
#include "app/StatusBarController.h"
#include "app/TreeViewController.h"
#include "base/Constants.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "base/Workspace.h"
#include "geometry/Math3d.h"
#include "geometry/ObjMesh.h"
#include "pack/PackCache.h"
#include "preview/VexaViewController.h"
#include "preview/lumovexawidget.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectDocument.h"
#include "scenegraph/GLNode.h"
#include "scenegraph/SceneRegistry.h"
#include "ui_LumoEditor.h"
#include "viewer/BaseMeshViewer.h"
#include "viewer/ViewSetup.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cmath>

namespace {
// The parameter board's live slider pushes go to the project's own bundle.
class PreviewParamSink : public BundleParamSink {
public:
    explicit PreviewParamSink(VexaViewController* bundles) : m_bundles(bundles) {}
    void setParam_f(const std::string& key, float value) override { m_bundles->setParam_f(key, value); }
    void setParam_s(const std::string& key, const std::string& value) override { m_bundles->setParam_s(key, value); }

private:
    VexaViewController* m_bundles;
};

const char* kWebsite = "https://lumoeditor.example.org";
const char* kLanguageKey = "language";
} // namespace

LumoEditor::LumoEditor(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::LumoEditorClass>()), m_packRunner(new PackRunner(this)) {
    m_root = QDir::currentPath().toLocal8Bit().toStdString();
    Trace::out("current path:%s\n", m_root.c_str());

    writeRunState(m_root, 1);
    openLog();
    logSetLevel(0);
    LOG_INFO("open log\n");
    LOG_INFO("current path :%s\n", m_root.c_str());

    buildWidgets();
    // The result of init is not needed here: after a failure the holder has
    // empty paths and tables, and the editor still starts.
    {
        std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
        holder->init(m_root);
        // The parameter lists belong to the process-wide holder: a window
        // made after another one reads the template afresh rather than
        // adding its declarations a second time.
        holder->globalParams.clear();
        holder->materialParams.clear();
        holder->parseTemplate();
    }
    updateTitle();
    createDefaultProject(m_root);
    buildStatusBar();
    MainDataHolder::instance()->loadFaceActions();
    fillFaceActionChoices();
    connectActions();
    // A language the user chose earlier applies from the start.
    if (QSettings().contains(kLanguageKey))
        applyLanguage(rememberedLanguage());
}

LumoEditor::~LumoEditor() {
    // The shared scene outlives the window: take out what the window put in
    // (the project's items and the reference meshes shown in the views), so
    // that no node keeps a mesh that a later start-up replaces.
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    if (m_tree)
        m_tree->clearCurrentProject();
    clearProjectItems(*holder);
    for (ObjMesh* mesh : {holder->referenceHead.get(), holder->phoneMesh.get(), holder->avatarHead.get(),
                          holder->avatarBody.get()})
        if (mesh && mesh->node)
            SceneRegistry::instance().detachMesh(mesh);
    // The translator belongs to the application; it goes with the window
    // whose texts it translates.
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
    }
}

void LumoEditor::openLog() {
    const std::string path = pathJoin(m_root, "log/log.txt");
    if (logOpen(path.c_str()))
        return;
    Trace::out("can not open log file\n");
    Trace::out("%s\n", path.c_str());
    Trace::out("make sure directory is writable\n");
}

void LumoEditor::buildWidgets() {
    ui->setupUi(this);
    // Fit the window on smaller screens (the form is laid out for 1600 x 960
    // and still works at 1280 x 800).
    QSize size(1600, 960);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size.expandedTo(minimumSize()));
    for (QPushButton* b : {ui->p_btn_left_maximize, ui->p_btn_front_maximize, ui->p_btn_free_maximize,
                           ui->p_btn_vexa_maximize})
        b->setText(QStringLiteral("+"));
    ui->p_p2a_view->hide();
    ui->p_Attr2d->hide();
    ui->p_Attr3ds->hide();
    // Hook: the scene tree, its buttons, the preview's buttons and the
    // bundle list are connected by their controllers; until those exist
    // they are shown disabled rather than doing nothing.
    for (QWidget* w : std::initializer_list<QWidget*>{ui->p_btn_add_item, ui->p_btn_delete_item, ui->p_btn_moveup_item,
                                                      ui->p_btn_movedown_item, ui->p_btn_play, ui->p_btn_stop,
                                                      ui->p_btn_rsync, ui->p_btn_load_bundle})
        w->setEnabled(false);
}

void LumoEditor::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    bar->setStyleSheet(QStringLiteral("QStatusBar { background: #DDDDDD; }"
                                      "QStatusBar::item { border: 1px solid #CCCCCC; border-radius: 3px; }"));

    auto* message = new QLabel(bar);
    message->setObjectName(QStringLiteral("p_label_status_message"));
    message->setFixedHeight(20);
    message->setFixedWidth(500);
    message->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);

    auto* second = new QLabel(bar);
    second->setObjectName(QStringLiteral("p_label_status_second"));
    second->setAlignment(Qt::AlignCenter);

    auto* progress = new QProgressBar(bar);
    progress->setObjectName(QStringLiteral("p_progress_status"));
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->setFixedWidth(500);
    progress->setAlignment(Qt::AlignRight);

    bar->addWidget(message, 0);
    bar->addWidget(second, 1);
    bar->addWidget(progress, 2);
    StatusBarController::instance()->setWidgets(bar, message, second, progress);
}

void LumoEditor::fillFaceActionChoices() {
    const std::vector<std::string> choices = MainDataHolder::instance()->faceActionChoices();
    for (QComboBox* combo : {ui->p_combo_faceaction_start, ui->p_combo_faceaction_end}) {
        // Entry 0 ("null") comes from the form.
        while (combo->count() > 1)
            combo->removeItem(combo->count() - 1);
        for (size_t i = 1; i < choices.size(); ++i)
            combo->addItem(QString::fromLocal8Bit(choices[i].c_str()));
    }
}

void LumoEditor::connectActions() {
    connect(ui->actionOpen_Project, &QAction::triggered, this, [this] { openProject(QString()); });
    connect(ui->actionNew_Project, &QAction::triggered, this, [this] { createProject(0, QString()); });
    connect(ui->actionChinese, &QAction::triggered, this, &LumoEditor::onLanguageChange);
    connect(ui->actionEnglish, &QAction::triggered, this, &LumoEditor::onLanguageChange);
    connect(ui->actionView_Help, &QAction::triggered, this, &LumoEditor::OnViewHelp);
    connect(ui->actionAbout_LumoEditor, &QAction::triggered, this, &LumoEditor::OnAbout);

    for (QPushButton* b : {ui->p_btn_left_maximize, ui->p_btn_front_maximize, ui->p_btn_free_maximize,
                           ui->p_btn_vexa_maximize})
        connect(b, &QPushButton::clicked, this, [this, b] { on_Btn_Maximize(b); });
    connect(ui->p_btn_explorer, &QPushButton::clicked, this, &LumoEditor::onOpenFileExplorer);
    connect(ui->p_btn_explorer_3d, &QPushButton::clicked, this, &LumoEditor::onOpenFileExplorer);
    connect(ui->p_btn_pack_bundle, &QPushButton::clicked, this, &LumoEditor::onPackBundle);
    connect(ui->p_btn_pack_bundle_3d, &QPushButton::clicked, this, &LumoEditor::onPackBundle);
    connect(m_packRunner, &PackRunner::started, this, [this] { setPackButtonsEnabled(false); });
    connect(m_packRunner, &PackRunner::finished, this, [this](bool ok) {
        setPackButtonsEnabled(true);
        emit packFinished(ok);
    });
    for (QWidget* view : std::initializer_list<QWidget*>{ui->p_leftView, ui->p_frontView, ui->p_freeView, ui->p_vexaView})
        connect(view, &QWidget::customContextMenuRequested, this, &LumoEditor::OnCustomContextMenu);
    for (BaseMeshViewer* view : {ui->p_leftView, ui->p_frontView, ui->p_freeView})
        connect(view, &BaseMeshViewer::statusMessage, this, [this](const QString& text) { showStatus(text); });
    // The scene tree and attribute panel connect their own widgets.
    m_tree = new TreeViewController(ui.get(), m_root, this);
    m_tree->buildEditMenu(menuBar(), ui->menuLanguage->menuAction());
    // Mesh edits in the views are undone with the editor's other steps.
    for (BaseMeshViewer* view : {ui->p_leftView, ui->p_frontView, ui->p_freeView})
        view->setUndoStack(m_tree->undoStack());
    connect(m_tree, &TreeViewController::titleChanged, this, &LumoEditor::updateTitle);
    connect(ui->actionSave_Project, &QAction::triggered, m_tree, &TreeViewController::onSaveProject);
    connect(ui->actionSave_as_Project, &QAction::triggered, m_tree, [this] {
        m_tree->onSaveAsProject();
        updateTitle();
    });
    // File > Clean pack cache: the project's kept pack results go, so the
    // next pack builds every output anew. Not while a pack uses them.
    auto* cleanCache = new QAction(tr("Clean pack cache"), this);
    m_cleanCache = cleanCache;
    cleanCache->setObjectName(QStringLiteral("actionClean_pack_cache"));
    ui->menuX->addAction(cleanCache);
    connect(cleanCache, &QAction::triggered, this, [this] {
        const std::string name = MainDataHolder::instance()->projectName;
        if (m_packRunner->isRunning() || name.empty()) {
            showStatus(tr("The pack cache cannot be cleaned now"), 3000);
            return;
        }
        const std::string folder = PackCache::folderOf(pathJoin(m_root, "Projects/" + name));
        const bool cleaned = PackCache::clear(folder);
        Trace::out("clean pack cache %s: %s\n", folder.c_str(), cleaned ? "done" : "failed");
        showStatus(cleaned ? tr("Pack cache cleaned") : tr("The pack cache could not be removed"), 3000);
    });
    // The bundle list and the live preview.
    m_bundles = new VexaViewController(ui->p_tree_bundle, ui->p_vexaView, this);
    connect(ui->p_btn_play, &QPushButton::clicked, m_bundles, &VexaViewController::onPlayVexa);
    connect(ui->p_btn_stop, &QPushButton::clicked, m_bundles, &VexaViewController::onStopVexa);
    connect(ui->p_btn_rsync, &QPushButton::clicked, m_bundles, &VexaViewController::onSyncVexa);
    connect(ui->p_btn_load_bundle, &QPushButton::clicked, m_bundles, &VexaViewController::onLoadBundle);
    for (QWidget* b : std::initializer_list<QWidget*>{ui->p_btn_play, ui->p_btn_stop, ui->p_btn_rsync, ui->p_btn_load_bundle})
        b->setEnabled(true);
    connect(m_bundles, &VexaViewController::statusMessage, this,
            [this](const QString& text, int ms) { showStatus(text, ms); });
    m_paramSink = std::make_unique<PreviewParamSink>(m_bundles);
    m_tree->setParamSink(m_paramSink.get());
    // A changed texture parameter of a 3D item needs a new bundle: pack,
    // then reload it; other projects reload the bundle on disk.
    connect(m_tree, &TreeViewController::synBundle, this, [this] {
        if ((MainDataHolder::instance()->projectType & kProject3d) && !isPacking()) {
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = connect(this, &LumoEditor::packFinished, m_bundles, [this, once](bool) {
                disconnect(*once);
                m_bundles->onSyncVexa();
            });
            onPackBundle();
            if (!isPacking()) // the pack did not start
                disconnect(*once);
        } else {
            m_bundles->onSyncVexa();
        }
    });
}

void LumoEditor::updateTitle() {
    setWindowTitle(QStringLiteral("LumoEditor - ") +
                   QString::fromLocal8Bit(MainDataHolder::instance()->projectName.c_str()) +
                   (m_tree && m_tree->isDirty() ? QStringLiteral("*") : QString()));
}

void LumoEditor::showStatus(const QString& text, int milliseconds) {
    StatusBarController::instance()->showMessage(text.toLocal8Bit().toStdString(), milliseconds);
}

void LumoEditor::warn(const QString& title, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("p_box_warning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void LumoEditor::setupForProjectType(int32_t type) {
    ui->p_p2a_view->hide();
    ui->p_g_islandscape->setEnabled(false);
    // Hook: the preview widget receives MainDataHolder's phone-screen picture.
    const bool is2d = (type & kProject2d) != 0;
    ui->p_Attr2ds->setVisible(is2d);
    ui->p_Attr3ds->setVisible(!is2d);
    for (QWidget* cell : {ui->p_cell_front, ui->p_cell_left, ui->p_cell_free, ui->p_cell_vexa})
        cell->show();
    for (QPushButton* b : {ui->p_btn_left_maximize, ui->p_btn_front_maximize, ui->p_btn_free_maximize,
                           ui->p_btn_vexa_maximize})
        b->setText(QStringLiteral("+"));
    // The views: numbers, render settings and texture slots, the reference
    // or avatar meshes by type, their starting cameras, and a repaint.
    viewsetup::configureViews(ui->p_frontView, ui->p_leftView, ui->p_freeView);
    viewsetup::showProjectType(ui->p_frontView, ui->p_leftView, ui->p_freeView, type);
    if ((type & (kProject2d | kProject3d)) && MainDataHolder::instance()->phoneMesh)
        setPhoneOrientation(0);
    ui->p_Attr2d->hide();
    // The tree's roots for the type and, for 3D and avatar projects, the
    // "Global Params" item and the parameter board.
    m_tree->setupForProjectType(type);
    ui->p_spin_loopcount->setEnabled(false);
    QTimer::singleShot(100, this, &LumoEditor::OnChangeLangTimer);
}

void LumoEditor::on_Btn_Maximize(QPushButton* button) {
    struct Cell {
        QPushButton* button;
        QWidget* cell;
    };
    const Cell cells[] = {{ui->p_btn_front_maximize, ui->p_cell_front},
                          {ui->p_btn_left_maximize, ui->p_cell_left},
                          {ui->p_btn_free_maximize, ui->p_cell_free},
                          {ui->p_btn_vexa_maximize, ui->p_cell_vexa}};
    const Cell* own = nullptr;
    for (const Cell& c : cells)
        if (c.button == button)
            own = &c;
    if (!own)
        return;
    if (button->text() == QLatin1String("-")) {
        button->setText(QStringLiteral("+"));
        for (const Cell& c : cells)
            c.cell->show();
        return;
    }
    button->setText(QStringLiteral("-"));
    for (const Cell& c : cells)
        if (&c != own)
            c.cell->hide();
}

void LumoEditor::OnCustomContextMenu(const QPoint& point) {
    auto* view = qobject_cast<QWidget*>(sender());
    const bool preview = view == ui->p_vexaView;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("p_menu_orientation"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* portrait = menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/phone.png")), tr("Portrait"));
    QAction* landscape = menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/phone2.png")), tr("Landscape"));
    if (preview) {
        connect(portrait, &QAction::triggered, this, &LumoEditor::setVexaPreviews2Portraint);
        connect(landscape, &QAction::triggered, this, &LumoEditor::setVexaPreviews2Landscape);
        ui->p_vexaView->addSourceActions(menu);
    } else {
        connect(portrait, &QAction::triggered, this, &LumoEditor::setPreviews2Portraint);
        connect(landscape, &QAction::triggered, this, &LumoEditor::setPreviews2Landscape);
    }
    menu->popup(view ? view->mapToGlobal(point) : QCursor::pos());
}

void LumoEditor::setPhoneOrientation(int32_t orientation) {
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    if (holder->phoneMesh && holder->phoneMesh->node) {
        GLNode* node = holder->phoneMesh->node;
        const float angle = orientation == 1 ? static_cast<float>(M_PI / 2) : 0.0f;
        node->setRotation(math3d::quatToMat3(math3d::eulerToQuat(math3d::Vec3(0, 0, angle))));
        node->setPosition(orientation == 1 ? math3d::Vec3(-7, -1, 515) : math3d::Vec3(0, 7, 515));
        node->setScale(math3d::Vec3(900, 1100, 1));
    }
    holder->orientation = orientation;
    if (m_tree)
        m_tree->OrientationChange();
}

void LumoEditor::setPreviews2Landscape() {
    Trace::out("setPreviews2Landscape\n");
    setPhoneOrientation(1);
}

void LumoEditor::setPreviews2Portraint() {
    Trace::out("setPreviews2Portraint\n");
    setPhoneOrientation(0);
}

void LumoEditor::setVexaPreviews2Landscape() {
    Trace::out("setVexaPreviews2Landscape\n");
    ui->p_vexaView->setLandscape(true);
}

void LumoEditor::setVexaPreviews2Portraint() {
    Trace::out("setVexaPreviews2Portraint\n");
    ui->p_vexaView->setLandscape(false);
}

QString LumoEditor::rememberedLanguage() {
    const QString code = QSettings().value(kLanguageKey, QStringLiteral("cn")).toString();
    return code == QLatin1String("en") ? code : QStringLiteral("cn");
}

bool LumoEditor::applyLanguage(const QString& code) {
    const std::string path = pathJoin(m_root, "data/language/" + code.toStdString() + ".qm");
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QString::fromLocal8Bit(path.c_str()))) {
        Trace::out("translation %s can not be loaded\n", path.c_str());
        delete translator;
        return false;
    }
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator);
        delete m_translator;
    }
    m_translator = translator;
    QCoreApplication::installTranslator(translator);
    ui->retranslateUi(this);
    // Texts made in code are not in the form.
    m_cleanCache->setText(tr("Clean pack cache"));
    m_tree->retranslate();
    updateTitle();
    return true;
}

void LumoEditor::onLanguageChange() {
    Trace::out("onLanguageChange begin\n");
    QString code;
    if (sender() == ui->actionChinese) {
        Trace::out("switch to chinese\n");
        code = QStringLiteral("cn");
    } else if (sender() == ui->actionEnglish) {
        Trace::out("switch to english\n");
        code = QStringLiteral("en");
    }
    if (!code.isEmpty()) {
        QSettings().setValue(kLanguageKey, code);
        applyLanguage(code);
    }
    updateTitle();
    Trace::out("onLanguageChange end\n");
}

void LumoEditor::OnChangeLangTimer() {
    Trace::out("OnChangeLangTimer\n");
    applyLanguage(rememberedLanguage());
}

void LumoEditor::OnViewHelp() {
    const std::string path = pathJoin(m_root, "/data/doc/LumoEditor User Specification.md.html");
    Trace::out("user specification path:%s\n", path.c_str());
    if (!fileExists(path)) {
        Trace::out("user specification not exist\n");
        showStatus(tr("The help page is not installed."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())))) {
        Trace::out("no program to show %s\n", path.c_str());
        showStatus(tr("No program is set up to show the help page."));
    }
}

void LumoEditor::OnAbout() {
    Trace::out("OnAbout\n");
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("p_box_about"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowTitle(tr("About LumoEditor"));
    box->setText(QStringLiteral("\n    ") + QString::fromLatin1(lumo::kVersionTitle) + QStringLiteral("\n\n") +
                 tr("Copyright (C) 2026 The LumoEditor developers.") + QStringLiteral("\n") +
                 QString::fromLatin1(kWebsite));
    box->setIconPixmap(QPixmap(QString::fromLocal8Bit(pathJoin(m_root, "data/qt/icon/128.png").c_str())));
    QPushButton* website = box->addButton(tr("Website"), QMessageBox::AcceptRole);
    box->addButton(tr("Cancel"), QMessageBox::RejectRole);
    connect(box, &QMessageBox::buttonClicked, this, [this, website](QAbstractButton* clicked) {
        if (clicked == website && !QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsite))))
            showStatus(tr("No web browser is set up to open %1.").arg(QString::fromLatin1(kWebsite)));
    });
    box->open();
}

void LumoEditor::onOpenFileExplorer() {
    Trace::out("LumoEditor::onOpenFileExplorer()");
    const std::string folder = pathJoin(m_root, "Projects/" + MainDataHolder::instance()->projectName);
    const QString qfolder = QString::fromLocal8Bit(folder.c_str());
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(qfolder))) {
        Trace::out("no file manager to show %s\n", folder.c_str());
        showStatus(tr("No file manager is set up to show %1").arg(qfolder));
    }
}

bool LumoEditor::isPacking() const { return m_packRunner->isRunning(); }

void LumoEditor::setPackButtonsEnabled(bool enabled) {
    ui->p_btn_pack_bundle->setEnabled(enabled);
    ui->p_btn_pack_bundle_3d->setEnabled(enabled);
}

void LumoEditor::onPackBundle() {
    Trace::out(" LumoEditor::onPackBundle\n");
    LOG_INFO(" LumoEditor::onPackBundle\n");
    Trace::out("auto save project begin\n");
    saveCurrentProject();
    Trace::out("auto save project end\n");
    Trace::out("reCalRelationship begin\n");
    m_tree->reCalRelationship();
    const int32_t type = MainDataHolder::instance()->projectType;
    const int option = (type & kProject2d) ? ui->p_cmb_pack->currentIndex() : ui->p_cmb_pack_3d->currentIndex();
    m_packRunner->packCurrentProject(option < 0 ? 0 : option);
}

bool LumoEditor::saveCurrentProject() {
    return m_tree->onSaveProject();
}

bool LumoEditor::createProject(int32_t type, const QString& qname) {
    std::string name = qname.toLocal8Bit().toStdString();
    Trace::out("create project begin %d,%s\n", type, name.c_str());
    if (!m_tree->maybeSave(this))
        return false;
    if (type == 0 || name.empty()) {
        std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
        // Filter projects are made by the filter tool from the start panel.
        CreateProjectDialog dialog(pathJoin(m_root, "/Projects"), false, this);
        dialog.exec();
        type = dialog.isAccepted() ? dialog.projectType() : 0;
        name = dialog.isAccepted() ? dialog.projectName() : std::string();
        Trace::out("type:%d name:%s\n", type, name.c_str());
    }
    bool created = false;
    if (type != 0 && !(type & kProjectFilter)) {
        const std::string problem = projectNameProblem(name);
        if (!problem.empty()) {
            Trace::out("new project creat failed!\n");
            warn(QStringLiteral("Warning!"), QString::fromLocal8Bit(problem.c_str()));
        } else {
            std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
            m_tree->clearCurrentProject();
            holder->projectType = type;
            setupForProjectType(type);
            if (!createProjectFolders(*holder, name)) {
                Trace::out("new project creat failed!\n");
            } else {
                updateTitle();
                created = saveCurrentProject();
            }
        }
    }
    Trace::out("create project end\n");
    return created;
}

bool LumoEditor::openProject(const QString& given) {
    QString chosen = given;
    if (!m_tree->maybeSave(this))
        return false;
    if (chosen.isEmpty()) {
        const QString start = QString::fromLocal8Bit(pathJoin(m_root, "Projects/").c_str());
        chosen = QFileDialog::getOpenFileName(this, tr("Open Project"), QDir::toNativeSeparators(start),
                                              QStringLiteral("allfiles(*.lumoproj)"));
        if (chosen.isEmpty()) {
            Trace::out("canceled\n");
            return false;
        }
    }
    const std::string path = chosen.toLocal8Bit().toStdString();
    Trace::out("project path:%s\n", path.c_str());
    int32_t type = 1;
    std::string error;
    if (!readProjectType(path, type, error)) {
        Trace::out("%s parse Error", path.c_str());
        Trace::out("\n%s\n", error.c_str());
        showStatus(QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    if (type & kProjectFilter) {
        Trace::out("can not open this from here. project type %d\n", type);
        warn(QStringLiteral("warning"), tr("Filter project can not open this from here! Please restart LumoEditor, "
                                           "and open this project from project pannel"));
        return false;
    }
    // The whole file is read and checked before anything of the current
    // project changes.
    ProjectDocument doc;
    if (!ProjectDocument::fromFile(path, doc, &error)) {
        showStatus(QString::fromLocal8Bit(error.c_str()));
        return false;
    }
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    m_tree->clearCurrentProject();
    holder->projectType = type;
    setupForProjectType(type);
    holder->projectName = doc.projectname;
    m_tree->onOpenProject(doc);
    updateTitle();
    return true;
}

void LumoEditor::resizeEvent(QResizeEvent* event) {
    Trace::out(" LumoEditor::resizeEvent\n");
    QMainWindow::resizeEvent(event);
}

void LumoEditor::closeEvent(QCloseEvent* event) {
    Trace::out("LumoEditor::closeEvent\n");
    if (m_tree && !m_tree->maybeSave(this)) {
        event->ignore();
        return;
    }
    // Hook: the scene tree's selection is cleared here.
    SceneRegistry::instance().clearSelection();
    // A running pack finishes before the window goes.
    m_packRunner->waitForFinished();
    writeRunState(m_root, 2);
    QMainWindow::closeEvent(event);
}
