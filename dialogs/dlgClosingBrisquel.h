#pragma once

#include <QWidget>

// The notice shown on top of everything while the program shuts down at the
// request of another instance.
class TClosingBrisquelDLG final : public QWidget
{
    Q_OBJECT

public:
    explicit TClosingBrisquelDLG(QWidget *parent = nullptr);
};
