// The fixed item lists of the channel settings dialog. In every list the
// code an instrument keeps is the item's position, so the order is part of
// the instrument's protocol and must not change.
#pragma once

#include <QStringList>

namespace zorvat {

// Sensor types of the measuring channels 1 and 2 (SEnS).
const QStringList& SensorTypes();
// What the calculated channel 3 computes (its SEnS).
const QStringList& CalcChannelFuncs();
// Functions of a discrete input (Fd1..Fd5) on a two-regulator instrument,
// and the ones that make sense with a single regulator (the first six).
const QStringList& DinFuncsTwoRegs();
const QStringList& DinFuncsOneReg();

// Wiring of a resistance thermometer (Lc).
const QStringList& ConnectionSchemes();
// Where the square-root characteristic is linearised (Sil).
const QStringList& SqrtLinearisations();
// Which correction table the channel applies (ttYP).
const QStringList& SecondCalcs();

}  // namespace zorvat
