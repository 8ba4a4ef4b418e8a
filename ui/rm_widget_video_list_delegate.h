#pragma once

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>

class QCheckBox;
class QTableView;

// Paints the recording rows straight from the list's shown items and keeps
// one tick-box editor open under the mouse in the first column.
class RMWidgetVideoListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit RMWidgetVideoListDelegate(QTableView* table);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

    QCheckBox* headerCheckBox() const { return _headerCheckBox; }
    // Closes the open tick-box editor, if any.
    void closeEditor();
    // Painting off while the list is being replaced.
    void setActive(bool active) { _active = active; }

    int selectedRow = -1;
    int currentRow = -1;

public Q_SLOTS:
    void entered(QModelIndex index);

private:
    QWidget* _headerHolder;
    QCheckBox* _headerCheckBox;
    QTableView* _view;
    QPersistentModelIndex _editorIndex;
    bool _editorOpen = false;
    bool _active = true;
};
