#include "app/CreateProjectDialog.h"

#include "app/ProjectNames.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "ui_CreateProjectDialog.h"

#include <QMessageBox>

CreateProjectDialog::CreateProjectDialog(std::string projectsDir, bool offerFilter, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::CreateProjectDialogClass>()), m_projectsDir(std::move(projectsDir)) {
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->p_combo_type->addItem(QStringLiteral("2D"));
    ui->p_combo_type->addItem(QStringLiteral("3D"));
    if (offerFilter)
        ui->p_combo_type->addItem(QStringLiteral("Filter"));
    m_type = 0;
    connect(ui->p_combo_type, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CreateProjectDialog::OnCurrentIndexChanged);
    connect(ui->p_edit_name, &QLineEdit::textChanged, this, &CreateProjectDialog::OnTextChanged);
    connect(ui->p_btn_ok, &QPushButton::clicked, this, &CreateProjectDialog::accepted);
    connect(ui->p_btn_cancel, &QPushButton::clicked, this, &CreateProjectDialog::rejected);
}

CreateProjectDialog::~CreateProjectDialog() = default;

int32_t CreateProjectDialog::typeCode(const QString& typeName) {
    if (typeName == QLatin1String("2D"))
        return 1;
    if (typeName == QLatin1String("3D"))
        return 2;
    if (typeName == QLatin1String("P2A"))
        return 4;
    if (typeName == QLatin1String("Filter"))
        return 8;
    return 0;
}

void CreateProjectDialog::OnCurrentIndexChanged(int) {
    m_type = typeCode(ui->p_combo_type->currentText());
}

void CreateProjectDialog::OnTextChanged(const QString&) {}

void CreateProjectDialog::accepted() {
    Trace::out("accepted\n");
    m_type = typeCode(ui->p_combo_type->currentText());
    m_name = ui->p_edit_name->text().toLocal8Bit().toStdString();
    if (m_name.empty()) {
        Trace::out("project name is empty!");
        warn(tr("Project name is empty, Please try again."));
        return;
    }
    const std::string problem = projectNameProblem(m_name);
    if (!problem.empty()) {
        Trace::out("project name refused: %s\n", problem.c_str());
        warn(QString::fromLocal8Bit(problem.c_str()));
        return;
    }
    if (fileExists(pathJoin(m_projectsDir, "/" + m_name))) {
        Trace::out("project already exist!");
        warn(tr("Project '%1' already exist! Please try again.").arg(QString::fromLocal8Bit(m_name.c_str())));
        return;
    }
    m_accepted = true;
    QDialog::accept();
}

void CreateProjectDialog::rejected() {
    Trace::out("rejected\n");
    m_accepted = false;
    m_type = 0;
    m_name.clear();
    QDialog::reject();
}

void CreateProjectDialog::reject() {
    // Escape and the title bar's close button end up here as well.
    rejected();
}

void CreateProjectDialog::warn(const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Warning!"), text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("p_box_warning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
