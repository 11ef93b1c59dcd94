#include "app/ProjectUndoCommand.h"

#include "app/TreeViewController.h"

ProjectUndoCommand::ProjectUndoCommand(TreeViewController* tree, const QString& text, std::string before,
                                       std::string after, std::string selected, int mergeId, std::string mergeKey)
    : QUndoCommand(text), m_tree(tree), m_before(std::move(before)), m_after(std::move(after)),
      m_selected(std::move(selected)), m_mergeId(mergeId), m_mergeKey(std::move(mergeKey)) {}

void ProjectUndoCommand::undo() {
    m_tree->restoreState(m_before, m_selected);
    m_done = false;
}

void ProjectUndoCommand::redo() {
    if (m_done)
        return;
    m_tree->restoreState(m_after, m_selected);
    m_done = true;
}

bool ProjectUndoCommand::mergeWith(const QUndoCommand* other) {
    const auto* o = dynamic_cast<const ProjectUndoCommand*>(other);
    if (!o || o->m_mergeKey.empty() || o->m_mergeKey != m_mergeKey)
        return false;
    m_after = o->m_after;
    return true;
}
