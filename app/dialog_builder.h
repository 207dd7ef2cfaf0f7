// Turns a dialog template (form/window_layout.h) into Qt widgets. Rectangles
// in dialog units become pixels the way dialog units are defined: a
// horizontal unit is a quarter of the dialog font's average character width,
// a vertical unit an eighth of its character height, so the window keeps its
// proportions at any font size and screen scale. User-interface thread only.
#pragma once

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "form/window_layout.h"

class QDialog;
class QWidget;

namespace quill {

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

QString FromUtf8(std::string_view text);
// The window's texts and the DTU's GBK bytes, through the one text codec.
QString FromGbk(std::string_view gbk);
std::string ToGbk(const QString& text);

// The template's face and size; where the face is not installed, a font that
// has Simplified Chinese shapes.
QFont DialogFont(std::string_view face, int pointSize);

DialogBaseUnits BaseUnitsFor(const QFont& font);
QRect MapDialogRect(const DialogRect& rect, DialogBaseUnits units);

// Gives the dialog its font, fixed client size and caption and creates every
// control as a direct child, in template order. Returns the numbered controls
// by identifier; `rows`, when given, receives every control in template order
// (unnumbered ones included). The icon is shown by icon controls.
std::unordered_map<int, QWidget*> BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate,
                                              const QIcon& icon, std::vector<QWidget*>* rows = nullptr);

// Puts a control where the layout places it (a list covers only its field
// while closed); a check box whose caption needs more room grows away from
// its box.
void PlaceControl(QWidget& widget, const PlacedControl& placed, DialogBaseUnits units);

// Icon 131: drawn at start-up, no files needed.
QIcon MakeAppIcon();

}  // namespace quill
