#include "resources/BrisquelResources.h"

#include <QImageReader>
#include <QString>

namespace {

const QSize kSplashSize(247, 110);

} // namespace

// A resource file inside a static library is only linked in when something
// refers to it, so every accessor registers it first. Outside any namespace:
// the registration function is declared where the macro is used.
static void registerResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(brisquel);
        return true;
    }();
    Q_UNUSED(registered);
}

QIcon MainIcon()
{
    registerResources();
    return QIcon(QStringLiteral(":/icons/brisquel.svg"));
}

QPixmap SplashPicture()
{
    registerResources();
    QImageReader reader(QStringLiteral(":/pictures/splash.svg"));
    reader.setScaledSize(kSplashSize);
    return QPixmap::fromImage(reader.read());
}
