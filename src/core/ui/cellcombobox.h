#pragma once

#include <QComboBox>

// A choice in a table's cell. The mouse wheel scrolls the table over it: only a choice the user
// has clicked or tabbed into takes the wheel, so scrolling a table of settings changes none.
class CellComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit CellComboBox(QWidget *parent = nullptr);

protected:
    void wheelEvent(QWheelEvent *event) override;
};
