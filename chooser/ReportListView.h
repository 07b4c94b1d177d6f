#pragma once

#include <QTreeWidget>

// A list view in report view, with what the project list relies on: items added
// with a unique key and a text, sub-items, the selected item, column sizing as the
// Windows list view does it, and the mouse notifications of the chooser dialog.
class ReportListView : public QTreeWidget {
    Q_OBJECT
  public:
    static constexpr int kAutoSize = -1;  // fit the column to its entries
    static constexpr int kAutoSizeUseHeader =
        -2;  // fit to the header; the last column fills the rest

    explicit ReportListView(QWidget* parent = nullptr);

    // Adds an item at the end. Fails with RuntimeError 35602 when the key is taken
    // (keys compare without regard to case).
    QTreeWidgetItem* AddItem(const QString& key, const QString& text);
    void SetSubItem(QTreeWidgetItem* item, int index, const QString& text);
    // The selected item, or none.
    QTreeWidgetItem* SelectedItem() const;
    void SetSelected(QTreeWidgetItem* item, bool selected);
    // Column widths in pixels, or kAutoSize / kAutoSizeUseHeader.
    void SetColumnWidth(int column, int width);
    // The item at a point of the viewport, or none.
    QTreeWidgetItem* HitTest(const QPoint& point) const { return itemAt(point); }

  signals:
    // Any mouse button pressed in the list, at a point of the viewport, before the
    // list view handles the press.
    void mouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint point);
    void itemClick(QTreeWidgetItem* item);
    void doubleClick();

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    QHash<QString, QTreeWidgetItem*> keys_;
};
