#pragma once

#include <QTreeView>

namespace tarnwick {

// An outline whose disclosure triangles sit near the top of each row (ImageAlignmableCell)
// rather than in its middle; everything else is the plain tree view's. Clicks on the triangle's
// column still expand and collapse the row.
class CustomDisclosureButtonOutlineView : public QTreeView {
    Q_OBJECT

public:
    explicit CustomDisclosureButtonOutlineView(QWidget* parent = nullptr);

    // Where the disclosure triangle of a row with this branch area is drawn.
    QRect disclosureRect(const QRect& branchArea) const;

protected:
    void drawBranches(QPainter* painter, const QRect& rect,
                      const QModelIndex& index) const override;
};

}  // namespace tarnwick
