#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Receives the addresses handed to the desktop instead of opening them
// (QDesktopServices::setUrlHandler with the slot "open").
class UrlRecorder final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls.append(url); }
};
