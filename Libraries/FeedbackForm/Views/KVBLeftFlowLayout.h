#pragma once

#include <QLayout>
#include <QList>

namespace tarnwick {

// Lays items out left to right in rows that wrap: items in a row are `interItemSpacing` apart,
// and an item that does not fit in the rest of a row starts a new row `lineSpacing` below the
// previous item's bottom, at the left edge. Its height follows the rows.
class KVBLeftFlowLayout : public QLayout {
public:
    explicit KVBLeftFlowLayout(QWidget* parent = nullptr);
    ~KVBLeftFlowLayout() override;

    static constexpr int lineSpacing = 4;
    static constexpr int interItemSpacing = 6;

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;

    // The frames the items get in a strip of that width, in item order.
    QList<QRect> frames(int width) const;

private:
    QList<QLayoutItem*> m_items;
};

}  // namespace tarnwick
