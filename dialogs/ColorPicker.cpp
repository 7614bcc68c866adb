#include "dialogs/ColorPicker.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidgetAction>

namespace {

constexpr int kColumns = 8;
constexpr int kPaletteSpacing = 8;
constexpr QSize kSwatchSize(14, 14);
constexpr QSize kFaceSize(28, 12);

QPixmap swatch(QSize size, const QColor &fill, const QColor &outline)
{
    QPixmap pixmap(size);
    pixmap.fill(fill);
    QPainter painter(&pixmap);
    painter.setPen(outline);
    painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    return pixmap;
}

QToolButton *paletteButton(QWidget *parent, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setText(text);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    return button;
}

} // namespace

const QList<TColor> &ColorPicker::standardColors()
{
    // The usual office palette, 0x00BBGGRR.
    static const QList<TColor> colors = {
        0x000000, 0x003399, 0x003333, 0x003300, 0x663300, 0x800000, 0x993333, 0x333333,
        0x000080, 0x0066FF, 0x008080, 0x008000, 0x808000, 0xFF0000, 0x996666, 0x808080,
        0x0000FF, 0x0099FF, 0x00CC99, 0x669933, 0xCCCC33, 0xFF6633, 0x800080, 0x969696,
        0xFF00FF, 0x00CCFF, 0x00FFFF, 0x00FF00, 0xFFFF00, 0xFFCC00, 0x663399, 0xC0C0C0,
        0xCC99FF, 0x99CCFF, 0x99FFFF, 0xCCFFCC, 0xFFFFCC, 0xFFCC99, 0xFF99CC, 0xFFFFFF,
    };
    return colors;
}

ColorPicker::ColorPicker(QWidget *parent)
    : QToolButton(parent)
    , m_defaultCaption(QStringLiteral("默认"))
    , m_menu(new QMenu(this))
    , m_panel(new QWidget(this))
{
    setAutoRaise(true);
    setPopupMode(QToolButton::MenuButtonPopup);
    setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    setIconSize(kFaceSize);
    buildPalette();
    setMenu(m_menu);
    refreshFace();
}

void ColorPicker::buildPalette()
{
    auto *layout = new QVBoxLayout(m_panel);
    layout->setContentsMargins(kPaletteSpacing, kPaletteSpacing, kPaletteSpacing, kPaletteSpacing);
    layout->setSpacing(kPaletteSpacing / 2);

    m_defaultButton = paletteButton(m_panel, m_defaultCaption);
    m_defaultButton->setVisible(false);
    connect(m_defaultButton, &QToolButton::clicked, this, [this] { pickFromPalette(clNone); });
    layout->addWidget(m_defaultButton);

    auto *grid = new QGridLayout();
    grid->setSpacing(2);
    const QList<TColor> &colors = standardColors();
    for (int index = 0; index < colors.size(); ++index) {
        const TColor color = colors.at(index);
        const QColor shown = toQColor(color);
        auto *button = new QToolButton(m_panel);
        button->setAutoRaise(true);
        button->setCheckable(true);
        button->setIconSize(kSwatchSize);
        button->setIcon(QIcon(swatch(kSwatchSize, shown, Qt::darkGray)));
        button->setToolTip(shown.name());
        connect(button, &QToolButton::clicked, this, [this, color] { pickFromPalette(color); });
        grid->addWidget(button, index / kColumns, index % kColumns);
        m_swatches.append(button);
    }
    layout->addLayout(grid);

    auto *custom = paletteButton(m_panel, QStringLiteral("定制"));
    custom->setObjectName(QStringLiteral("CustomColor"));
    connect(custom, &QToolButton::clicked, this, [this] {
        m_menu->hide();
        // The chooser opens once the palette's own loop has ended.
        QMetaObject::invokeMethod(this, &ColorPicker::chooseCustomColor, Qt::QueuedConnection);
    });
    layout->addWidget(custom);

    auto *action = new QWidgetAction(m_menu);
    action->setDefaultWidget(m_panel);
    m_menu->addAction(action);
}

void ColorPicker::setColor(TColor color)
{
    if (color == m_color)
        return;
    m_color = color;
    refreshFace();
    emit colorChanged(color);
}

void ColorPicker::setDefaultEntry(bool shown, const QString &caption)
{
    m_defaultEntry = shown;
    m_defaultCaption = caption;
    m_defaultButton->setText(caption);
    m_defaultButton->setVisible(shown);
    refreshFace();
}

bool ColorPicker::chooseCustomColor()
{
    QColorDialog dialog(toQColor(m_color), this);
    dialog.setWindowTitle(QStringLiteral("颜色"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setColor(fromQColor(dialog.selectedColor()));
    return true;
}

void ColorPicker::pickFromPalette(TColor color)
{
    m_menu->hide();
    setColor(color);
}

void ColorPicker::refreshFace()
{
    const bool isDefault = m_color == clNone && m_defaultEntry;
    setText(isDefault ? m_defaultCaption : QString());
    if (m_color == clNone) {
        QPixmap empty(kFaceSize);
        empty.fill(Qt::transparent);
        setIcon(QIcon(empty));
    } else {
        setIcon(QIcon(swatch(kFaceSize, toQColor(m_color), Qt::darkGray)));
    }
    const QList<TColor> &colors = standardColors();
    for (int index = 0; index < m_swatches.size(); ++index)
        m_swatches.at(index)->setChecked(colors.at(index) == m_color);
}
