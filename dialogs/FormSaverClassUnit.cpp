#include "dialogs/FormSaverClassUnit.h"

#include "platform/RegistryStore.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace {

QSize screenSize()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize();
}

} // namespace

bool TFormSaver::LoadFromRegistry(const QString &key)
{
    TRegistry registry;
    if (!registry.KeyExists(key))
        return false;
    registry.OpenKeyReadOnly(key);
    X = registry.ReadInteger(QStringLiteral("FormX"));
    Y = registry.ReadInteger(QStringLiteral("FormY"));
    W = registry.ReadInteger(QStringLiteral("FormW"));
    H = registry.ReadInteger(QStringLiteral("FormH"));
    Max = registry.ReadBool(QStringLiteral("FormMax"));
    registry.CloseKey();
    return true;
}

void TFormSaver::ApplyToForm(QWidget *window) const
{
    const QSize screen = screenSize();
    if (X <= 0 || Y <= 0 || X > screen.width() || Y > screen.height() || W <= 0 || H <= 0)
        return;
    window->move(X, Y);
    window->resize(W, H);
    window->setWindowState(Max ? (window->windowState() | Qt::WindowMaximized)
                               : (window->windowState() & ~Qt::WindowMaximized));
}

void TFormSaver::ReadFromForm(const QWidget *window)
{
    if (window->isMinimized())
        return;
    if (window->isMaximized()) {
        Max = true;
        return;
    }
    X = window->x();
    Y = window->y();
    W = window->width();
    H = window->height();
    Max = false;
}

void TFormSaver::SaveToRegistry(const QString &key) const
{
    TRegistry registry;
    registry.OpenKey(key, true);
    registry.WriteInteger(QStringLiteral("FormX"), X);
    registry.WriteInteger(QStringLiteral("FormY"), Y);
    registry.WriteInteger(QStringLiteral("FormW"), W);
    registry.WriteInteger(QStringLiteral("FormH"), H);
    registry.WriteBool(QStringLiteral("FormMax"), Max);
    registry.CloseKey();
}
