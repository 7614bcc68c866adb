#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QAction;
class QWidget;

// Finding a window's commands the way a user names them: by the caption
// shown, without the mnemonic ("删除便笺" finds "删除便笺(&D)"); a command
// shown as an icon only, by its tool tip. Null when none or more than one
// command has the caption.

// Searches the widget, its children and the menus of their actions.
QAction *findAction(QWidget *widget, const QString &caption);
// Searches the given actions and their menus.
QAction *findAction(const QList<QAction *> &actions, const QString &caption);

// The captions of a menu's items as stored, "-" for a separator.
QStringList actionCaptions(const QList<QAction *> &actions);

// Fails the running test unless exactly one command has the caption and it
// is enabled; otherwise triggers it. For use in functions that cannot use
// TRIGGER_ACTION.
[[nodiscard]] bool triggerAction(QAction *action, const QString &caption, const char *file, int line);

// Triggers the enabled command of the given caption in `where` (a widget or
// a list of actions), as QVERIFY fails and returns when it cannot.
#define TRIGGER_ACTION(where, caption)                                                                                \
    do {                                                                                                              \
        if (!triggerAction(findAction(where, caption), caption, __FILE__, __LINE__))                                  \
            return;                                                                                                   \
    } while (false)
