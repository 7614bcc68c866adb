#include "app/FontFallback.h"

#include <QFont>
#include <QFontDatabase>
#include <QString>

namespace {

// The Windows faces the program and its notes name: the forms' SimSun, the
// dialog face, and the Chinese faces common in notes written on Windows.
constexpr const char16_t* kWindowsFaces[] = {
    u"SimSun", u"Simsun", u"宋体", u"NSimSun", u"新宋体",
    u"MS Shell Dlg", u"MS Shell Dlg 2",
    u"SimHei", u"黑体", u"Microsoft YaHei", u"微软雅黑",
};

// Fonts of the Debian packages fonts-noto-cjk and fonts-wqy-microhei first,
// then other common free fonts with Chinese glyphs.
constexpr const char16_t* kPreferredFamilies[] = {
    u"Noto Sans CJK SC", u"WenQuanYi Micro Hei", u"WenQuanYi Zen Hei",
    u"Noto Serif CJK SC", u"Source Han Sans SC", u"Source Han Sans CN",
    u"Droid Sans Fallback", u"AR PL UMing CN",
};

bool coversChinese(const QString& family)
{
    return QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese);
}

} // namespace

QStringList CjkFallbackFamilies()
{
    QStringList found;
    for (const char16_t* name : kPreferredFamilies) {
        const QString family = QString::fromUtf16(name);
        if (QFontDatabase::hasFamily(family) && coversChinese(family))
            found.append(family);
    }
    if (found.isEmpty()) {
        // None of the usual fonts: any installed font that covers Chinese.
        const QStringList any = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
        if (!any.isEmpty())
            found.append(any.first());
    }
    return found;
}

bool InstallFontFallback()
{
    const QStringList fallback = CjkFallbackFamilies();
    if (fallback.isEmpty())
        return false;
    for (const char16_t* face : kWindowsFaces)
        QFont::insertSubstitutions(QString::fromUtf16(face), fallback);
    return true;
}
