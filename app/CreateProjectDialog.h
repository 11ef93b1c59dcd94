#pragma once
// The new-project dialog: a name and a type ("2D", "3D", and "Filter" when
// the filter tool is installed). Confirming checks the name: one that is
// empty, could leave Projects/ (see ProjectNames.h) or names an existing
// folder keeps the dialog open under a "Warning!" box. Cancelling or closing
// leaves type 0 and an empty name.

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>

namespace Ui {
class CreateProjectDialogClass;
}

class CreateProjectDialog : public QDialog {
    Q_OBJECT
public:
    // projectsDir: the workspace's Projects folder; offerFilter: list "Filter".
    CreateProjectDialog(std::string projectsDir, bool offerFilter, QWidget* parent = nullptr);
    ~CreateProjectDialog() override;

    bool isAccepted() const { return m_accepted; }
    int32_t projectType() const { return m_type; }
    const std::string& projectName() const { return m_name; }

    // The type code of a type name: "2D" 1, "3D" 2, "P2A" 4, "Filter" 8, else 0.
    static int32_t typeCode(const QString& typeName);

public slots:
    void OnCurrentIndexChanged(int index);
    void OnTextChanged(const QString& text);
    void accepted();
    void rejected();

protected:
    void reject() override;

private:
    void warn(const QString& text);

    std::unique_ptr<Ui::CreateProjectDialogClass> ui;
    std::string m_projectsDir;
    bool m_accepted = false;
    int32_t m_type = 0;
    std::string m_name;
};
