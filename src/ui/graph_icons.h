// The pictures of the chart page's move and stretch buttons, drawn in code
// so that they stay sharp at any screen scale.
#pragma once

#include <QIcon>

namespace zorvat {

// A plain arrow pointing along `direction`.
QIcon MoveIcon(Qt::ArrowType direction);
// Two arrows along one axis: pointing outwards (`stretch`, the range
// narrows and the curve grows) or inwards towards a centre line.
QIcon StretchIcon(Qt::Orientation orientation, bool stretch);
// A printer, for desktops whose icon theme has none.
QIcon PrintIcon();

}  // namespace zorvat
