#pragma once
class QPushButton;

namespace tz::intake::gui {

// A caption wider than its button (fonts wider than the layout's) is drawn narrower, then
// smaller, so that the button keeps its place and size and shows its whole caption. Returns
// false when even the smallest form does not fit.
bool fitCaption(QPushButton* button);

}  // namespace tz::intake::gui
