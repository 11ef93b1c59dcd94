#pragma once
// The bundle list beside the live preview: bundles loaded from disk and the
// current project's own bundle, reloaded after each pack (sync). The first
// top-level entry of the tree is the root; its child i is entry i of the
// preview widget's item lists. Messages for the status bar leave through
// statusMessage (shown 3000 ms).

#include <QObject>
#include <QString>

#include <string>

class QTreeWidget;
class QTreeWidgetItem;
class lumovexawidget;

class VexaViewController : public QObject {
    Q_OBJECT
public:
    VexaViewController(QTreeWidget* tree, lumovexawidget* view, QObject* parent = nullptr);

    int currentBundleIndex() const { return m_curBundleIdx; }
    bool isCurrentBundleLoaded() const { return m_isCurBundleLoaded; }
    QTreeWidgetItem* root() const;

public slots:
    void onPlayVexa();
    void onStopVexa();
    void onSyncVexa();
    void onLoadBundle();
    void OnCustomContextMenu(const QPoint& point);
    void OnAddBundle();
    void OnMoveUpBundle();
    void OnMoveDownBundle();
    void OnDisableBundle();
    void OnEnableBundle();
    void OnDeleteBundle();
    void setParam_f(const std::string& name, float value);
    void setParam_s(const std::string& name, const std::string& value);
    void refreshParams();

signals:
    void statusMessage(const QString& text, int milliseconds);

private:
    // Index among the root's children of the first selected entry; -1 when
    // none (or the root) is selected.
    int selectedIndex() const;
    void expand();
    void say(const QString& text);
    // Adds the bundle at path beside the others; the tree gets its name.
    void loadBundleFile(const QString& path);

    QTreeWidget* m_tree;
    lumovexawidget* m_view;
    int m_curBundleIdx = -1;
    bool m_isCurBundleLoaded = false;
};
