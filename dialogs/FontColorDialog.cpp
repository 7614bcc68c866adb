#include "dialogs/FontColorDialog.h"

#include "dialogs/ColorPicker.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The chooser finds a face's style by the style's name; faces whose upright
// style is called "Book" or similar would otherwise come up slanted. Of the
// styles nearest in weight and slant, the one with the shortest name is the
// plain one ("Book" rather than "Condensed").
QFont withOwnStyleName(const QFont &font)
{
    QFont named = font;
    int bestDistance = -1;
    const QStringList styles = QFontDatabase::styles(font.family());
    for (const QString &style : styles) {
        const QFont candidate = QFontDatabase::font(font.family(), style, qMax(1, font.pointSize()));
        if (candidate.italic() != font.italic())
            continue;
        const int distance = qAbs(int(candidate.weight()) - int(font.weight())) * 100 + int(style.size());
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            named.setStyleName(style);
        }
    }
    return named;
}

} // namespace

FontColorDialog::FontColorDialog(QWidget *parent)
    : QDialog(parent)
    , FontChooser(new QFontDialog(this))
    , ColorChooser(new ColorPicker(this))
{
    setWindowTitle(QStringLiteral("字体"));

    // The toolkit's chooser is embedded as a plain widget; its effects offer
    // underline and strike-out, and only scalable faces are listed.
    FontChooser->setWindowFlags(Qt::Widget);
    FontChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog | QFontDialog::ScalableFonts);
    // Escape inside the embedded chooser ends it, and with it this dialog.
    connect(FontChooser, &QDialog::finished, this, &QDialog::done);

    auto *colorLabel = new QLabel(QStringLiteral("颜色(&C):"), this);
    colorLabel->setBuddy(ColorChooser);
    connect(ColorChooser, &QToolButton::clicked, ColorChooser, &ColorPicker::chooseCustomColor);
    auto *colorRow = new QHBoxLayout();
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(ColorChooser);
    colorRow->addStretch();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(FontChooser);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

bool FontColorDialog::Execute()
{
    showFont(m_font);
    FontChooser->setVisible(true);
    if (exec() != QDialog::Accepted)
        return false;
    m_font.font = FontChooser->currentFont();
    m_font.color = ColorChooser->color();
    return true;
}

void FontColorDialog::showFont(const ToolkitFont &font)
{
    FontChooser->setCurrentFont(withOwnStyleName(font.font));
    ColorChooser->setColor(font.color);
}
