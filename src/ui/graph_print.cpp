#include "graph_print.h"

#include <qcustomplot.h>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <utility>

#include "message_box.h"

namespace zorvat {
namespace {

constexpr double kMargin = 0.05;
// The chart is laid out at this size when it has never been shown.
constexpr QSize kFallbackSize(1000, 600);

PrinterCheck& printerCheck() {
    static PrinterCheck check;
    return check;
}

}  // namespace

PrinterCheck SetPrinterCheck(PrinterCheck check) {
    return std::exchange(printerCheck(), std::move(check));
}

bool HasDefaultPrinter() {
    if (printerCheck()) return printerCheck()();
    return !QPrinterInfo::availablePrinters().isEmpty() && !QPrinterInfo::defaultPrinter().isNull();
}

bool PrintChartPage(QCustomPlot& plot, QPrinter& printer) {
    // The printer object is ours: the printer's own orientation is left as
    // it was for other programs.
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setFullPage(true);

    QCPPainter painter;
    if (!painter.begin(&printer)) return false;
    painter.setMode(QCPPainter::pmVectorized);
    painter.setMode(QCPPainter::pmNoCaching);
    // Lines scale with the page instead of staying one device dot wide.
    painter.setMode(QCPPainter::pmNonCosmetic);

    const QRect page = printer.pageLayout().fullRectPixels(printer.resolution());
    const QRect target(
        page.x() + qRound(page.width() * kMargin), page.y() + qRound(page.height() * kMargin),
        qRound(page.width() * (1.0 - 2 * kMargin)), qRound(page.height() * (1.0 - 2 * kMargin)));
    // The chart is drawn at its screen size and stretched to the margins,
    // whatever the proportions of the page.
    QSize size = plot.size();
    if (size.width() < 100 || size.height() < 100) size = kFallbackSize;
    painter.setViewport(target);
    painter.setWindow(QRect(QPoint(0, 0), size));
    plot.toPainter(&painter, size.width(), size.height());
    const bool ended = painter.end();
    // Drawing for the page laid the chart out at the page's size: lay it out
    // for the screen again, where the mouse works with it.
    plot.replot();
    return ended;
}

bool SaveChartPdf(QCustomPlot& plot, const QString& path) {
    // Screen resolution keeps the fonts of the chart at their screen size
    // relative to the drawing; the file is vectors either way.
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setCreator(ProgramTitle());
    printer.setDocName(QStringLiteral("График"));
    return PrintChartPage(plot, printer);
}

void PrintChart(QCustomPlot& plot, QWidget* parent) {
    if (HasDefaultPrinter()) {
        const QPrinterInfo info = QPrinterInfo::defaultPrinter();
        QPrinter printer(info, QPrinter::ScreenResolution);
        printer.setDocName(QStringLiteral("График"));
        if (!PrintChartPage(plot, printer)) {
            Inform(parent,
                   QStringLiteral("Не удалось напечатать график на принтере \"%1\".")
                       .arg(info.printerName()),
                   MessageKind::Error);
        }
        return;
    }

    const auto answer = Ask(parent, QStringLiteral("Принтер не найден.\n"
                                                   "Сохранить график в файл PDF?"));
    if (answer != QMessageBox::Yes) return;
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    QString path = ChooseFile({parent, FileChoice::Save, QStringLiteral("Сохранить график"),
                               QDir(folder).filePath(QStringLiteral("График.pdf")),
                               QStringLiteral("Документы PDF (*.pdf);;Все файлы (*)")});
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    if (!SaveChartPdf(plot, path)) {
        Inform(parent,
               QStringLiteral("Не удалось сохранить график в файл\n%1")
                   .arg(QDir::toNativeSeparators(path)),
               MessageKind::Error);
    }
}

}  // namespace zorvat
