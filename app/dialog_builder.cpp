#include "app/dialog_builder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOptionButton>

#include "form/parameter_fields.h"
#include "protocol/text_codec.h"

namespace quill {
namespace {

// Rounds like the platform's own dialog-unit mapping: a * b / c to the nearest.
int MulDiv(int a, int b, int c) {
    return (a * b + c / 2) / c;
}

// The dialog's own metrics on top of the platform style: a check box keeps
// its caption close to its box, as the layout's narrow check box rectangles
// expect.
class DialogStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing) return 3;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// Group boxes draw their frame through the middle of the title, the title
// interrupting the line, so the rows inside keep the room the layout gives them.
constexpr char kGroupBoxStyle[] =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 6px;"
    " padding: 0 2px; background-color: palette(window); }";

QWidget* CreateControl(const ControlDef& def, QWidget* parent, const QIcon& icon) {
    const QString caption = FromUtf8(def.caption);
    switch (def.kind) {
        case ControlKind::Edit:
            return new QLineEdit(parent);
        case ControlKind::MultiLineEdit: {
            auto* edit = new QPlainTextEdit(parent);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setTabChangesFocus(true);
            return edit;
        }
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(caption, parent);
            box->setLayoutDirection(Qt::RightToLeft);  // text left of the box
            return box;
        }
        case ControlKind::PlainCheckBox:
            return new QCheckBox(caption, parent);
        case ControlKind::ComboBox: {
            auto* list = new QComboBox(parent);
            list->setEditable(true);
            list->setInsertPolicy(QComboBox::NoInsert);  // typing never adds entries
            list->setCompleter(nullptr);
            for (const std::string_view item : def.items) list->addItem(FromUtf8(item));
            list->setMaxVisibleItems(std::max(1, list->count()));
            list->setCurrentIndex(-1);  // no selection until the program or the operator makes one
            return list;
        }
        case ControlKind::PushButton:
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(caption, parent);
            // A dialog gives Enter to its first auto-default button, even a
            // hidden one; only a template's default button takes Enter here.
            button->setAutoDefault(def.kind == ControlKind::DefaultButton);
            if (def.kind == ControlKind::DefaultButton) button->setDefault(true);
            return button;
        }
        case ControlKind::Static:
        case ControlKind::StaticBorder: {
            auto* label = new QLabel(caption, parent);
            label->setTextFormat(Qt::PlainText);
            if (def.kind == ControlKind::Static) {
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            } else {
                label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            }
            return label;
        }
        case ControlKind::GroupBox: {
            auto* group = new QGroupBox(caption, parent);
            group->setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
            return group;
        }
        case ControlKind::Icon: {
            auto* label = new QLabel(parent);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setPixmap(icon.pixmap(32, 32));
            return label;
        }
    }
    return new QWidget(parent);
}

// A check box whose caption needs more room than its rectangle gives grows on
// the side away from its box, so the box stays where the layout puts it (next
// to its value control) and no caption is cut.
void FitCheckBox(QCheckBox& box, QRect rect) {
    QStyleOptionButton option;
    option.initFrom(&box);
    option.text = box.text();
    const QRect contents = box.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &box);
    const int needed = rect.width() - contents.width() + box.fontMetrics().horizontalAdvance(box.text()) + 1;
    const int missing = needed - rect.width();
    if (missing <= 0) return;
    if (box.layoutDirection() == Qt::RightToLeft)
        rect.setLeft(rect.left() - missing);
    else
        rect.setRight(rect.right() + missing);
    box.setGeometry(rect);
}

}  // namespace

QString FromGbk(std::string_view gbk) {
    return QString::fromStdU16String(GbkToUtf16(gbk));
}

std::string ToGbk(const QString& text) {
    return Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                          static_cast<std::size_t>(text.size())));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QFont DialogFont(std::string_view face, int pointSize) {
    QFont font;
    // Simplified Chinese faces in order of preference; "WenQuanYi Zen Hei" is
    // the one the project installs.
    font.setFamilies({FromUtf8(face), QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Source Han Sans SC"), QStringLiteral("Microsoft YaHei")});
    font.setPointSize(pointSize);
    return font;
}

DialogBaseUnits BaseUnitsFor(const QFont& font) {
    // The average width is that of the 52 Latin letters, as the platform measures it.
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units) {
    const int left = MulDiv(rect.x, units.x, 4);
    const int top = MulDiv(rect.y, units.y, 8);
    const int right = MulDiv(rect.right(), units.x, 4);
    const int bottom = MulDiv(rect.bottom(), units.y, 8);
    return {left, top, right - left, bottom - top};
}

void PlaceControl(QWidget& widget, const PlacedControl& placed, DialogBaseUnits units) {
    const QRect pixels = MapDialogRect(ClosedRect(placed), units);
    widget.setGeometry(pixels);
    if (auto* box = qobject_cast<QCheckBox*>(&widget)) FitCheckBox(*box, pixels);
}

std::unordered_map<int, QWidget*> BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                              const QIcon& icon, std::vector<QWidget*>* rows) {
    const QFont font = DialogFont(dialogTemplate.fontFace, dialogTemplate.pointSize);
    dialog.setFont(font);
    dialog.setWindowTitle(FromUtf8(dialogTemplate.caption));
    const DialogBaseUnits units = BaseUnitsFor(font);
    dialog.setFixedSize(MapDialogRect({0, 0, dialogTemplate.width, dialogTemplate.height}, units).size());

    auto* style = new DialogStyle;

    std::unordered_map<int, QWidget*> controls;
    int unnumbered = 0;
    for (const ControlDef& def : dialogTemplate.controls) {
        QWidget* widget = CreateControl(def, &dialog, icon);
        const QString name =
            def.id == kNoId ? QStringLiteral("static_%1").arg(++unnumbered) : QString::number(def.id);
        widget->setObjectName(name);
        widget->setAccessibleDescription(name);
        if (const ParameterField* field = FindFieldByValueControl(def.id))
            widget->setAccessibleName(FromUtf8(field->accessibleLabel));

        if (auto* box = qobject_cast<QCheckBox*>(widget)) box->setStyle(style);  // before it is measured
        PlaceControl(*widget, {&def, def.rect}, units);

        widget->setEnabled(def.enabled);
        // Hidden controls are never shown; shown ones appear with the dialog.
        if (!def.shown) widget->setVisible(false);
        if (def.id != kNoId) controls.emplace(def.id, widget);
        if (rows != nullptr) rows->push_back(widget);
    }
    // Owned by the dialog from here on; as its last child it is deleted after
    // the controls that use it.
    style->setParent(&dialog);
    return controls;
}

QIcon MakeAppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 32.0;
        // A terminal box with an antenna and a serial plug's pins.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
        painter.drawRoundedRect(QRectF(3 * s, 9 * s, 26 * s, 20 * s), 4 * s, 4 * s);
        painter.setPen(QPen(QColor(0x1f, 0x5f, 0xa8), 2.5 * s, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(23 * s, 9 * s), QPointF(26 * s, 2 * s));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xff, 0xb3, 0x00));
        painter.drawEllipse(QPointF(26 * s, 2.5 * s), 2.2 * s, 2.2 * s);
        painter.setBrush(Qt::white);
        for (int pin = 0; pin < 3; ++pin)
            painter.drawEllipse(QPointF((10 + 6 * pin) * s, 16 * s), 2 * s, 2 * s);
        for (int pin = 0; pin < 2; ++pin)
            painter.drawEllipse(QPointF((13 + 6 * pin) * s, 22 * s), 2 * s, 2 * s);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace quill
