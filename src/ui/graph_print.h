// Printing the chart: on the default printer, landscape, with margins of
// 5 % on every side and the chart stretched to them. A machine without a
// printer is offered a PDF file instead.
#pragma once

#include <QString>
#include <functional>

class QCustomPlot;
class QPrinter;
class QWidget;

namespace zorvat {

// Draws the chart on one landscape page of `printer`. False when the
// printer (or the file it writes) could not be opened.
bool PrintChartPage(QCustomPlot& plot, QPrinter& printer);

// The chart as a one-page landscape PDF file.
bool SaveChartPdf(QCustomPlot& plot, const QString& path);

// The whole "Печать" action: the default printer when there is one, else
// the question whether to save a PDF, the file chooser and the file. Every
// failure is reported through the message seam.
void PrintChart(QCustomPlot& plot, QWidget* parent);

// Whether the machine has a default printer. Tests replace the check; an
// empty function puts the real one back. Returns the previous check.
using PrinterCheck = std::function<bool()>;
PrinterCheck SetPrinterCheck(PrinterCheck check);
bool HasDefaultPrinter();

}  // namespace zorvat
