#pragma once
// One undoable step of the project: the project file's text before and
// after it. Undo and redo hand the text to the tree controller, which puts
// the scene into that state. Consecutive edits of the same field of the
// same item (typing into a spin box) merge into one step.

#include <QUndoCommand>

#include <string>

class TreeViewController;

class ProjectUndoCommand : public QUndoCommand {
public:
    ProjectUndoCommand(TreeViewController* tree, const QString& text, std::string before, std::string after,
                       std::string selected, int mergeId, std::string mergeKey);
    void undo() override;
    void redo() override;
    int id() const override { return m_mergeId; }
    bool mergeWith(const QUndoCommand* other) override;

private:
    TreeViewController* m_tree;
    std::string m_before;
    std::string m_after;
    std::string m_selected;
    int m_mergeId;
    std::string m_mergeKey;
    bool m_done = true; // the step was already made when the command was pushed
};
