#pragma once

#include "platform/DateTime.h"

#include <QWidget>

// The first line of the note menu: "创建于:" in bold over the note's
// creation time, in a framed box.
class CreationDateItem final : public QWidget
{
    Q_OBJECT

public:
    explicit CreationDateItem(QWidget *parent = nullptr);

    void setCreated(TDateTime created);
    QString createdText() const { return m_text; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};
