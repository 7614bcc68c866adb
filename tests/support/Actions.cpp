#include "tests/support/Actions.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

namespace {

// "删除便笺(&D)" and "删除(&D)" -> "删除便笺", "删除"; "&Open" -> "Open".
QString shownCaption(const QAction &action)
{
    static const QRegularExpression mnemonicSuffix(QStringLiteral("\\(&[^)]\\)"));
    QString caption = action.text().isEmpty() ? action.toolTip() : action.text();
    caption.remove(mnemonicSuffix);
    // "&&" stands for a shown "&".
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == u'&' && i + 1 < caption.size())
            ++i;
        shown += caption.at(i);
    }
    return shown.trimmed();
}

void collect(const QList<QAction *> &actions, QList<QAction *> &into)
{
    for (QAction *action : actions) {
        if (into.contains(action))
            continue;
        into.append(action);
        if (action->menu())
            collect(action->menu()->actions(), into);
    }
}

QAction *only(const QList<QAction *> &candidates, const QString &caption)
{
    QAction *found = nullptr;
    for (QAction *action : candidates) {
        if (action->isSeparator() || shownCaption(*action) != caption.trimmed())
            continue;
        if (found)
            return nullptr;
        found = action;
    }
    return found;
}

} // namespace

QAction *findAction(const QList<QAction *> &actions, const QString &caption)
{
    QList<QAction *> all;
    collect(actions, all);
    return only(all, caption);
}

QAction *findAction(QWidget *widget, const QString &caption)
{
    QList<QAction *> all;
    collect(widget->actions(), all);
    collect(widget->findChildren<QAction *>(), all);
    for (const QWidget *child : widget->findChildren<QWidget *>())
        collect(child->actions(), all);
    return only(all, caption);
}

QStringList actionCaptions(const QList<QAction *> &actions)
{
    QStringList captions;
    for (const QAction *action : actions)
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

bool triggerAction(QAction *action, const QString &caption, const char *file, int line)
{
    if (!action) {
        const QString message = QStringLiteral("no single command \"%1\"").arg(caption);
        return QTest::qVerify(false, "findAction", qPrintable(message), file, line);
    }
    if (!action->isEnabled()) {
        const QString message = QStringLiteral("command \"%1\" is disabled").arg(caption);
        return QTest::qVerify(false, "isEnabled()", qPrintable(message), file, line);
    }
    action->trigger();
    return true;
}
