#pragma once

#include <QObject>

class QAbstractItemView;

// Gives the rows of the event tree their tool tips; installed on the view's viewport.
class ToolTipper : public QObject
{
    Q_OBJECT
public:
    explicit ToolTipper(QAbstractItemView *view);
    ~ToolTipper() override;

    bool eventFilter(QObject *object, QEvent *event) override;
};
