// The start window, the About box, the JPEG decoder of their pictures and the
// manual's viewer.
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QToolButton>
#include <QUrl>
#include <QtTest>
#include <vector>

#include <jpeglib.h>

#include "about_box.h"
#include "help_viewer.h"
#include "jpeg_image.h"
#include "message_box.h"
#include "start_window.h"

Q_DECLARE_METATYPE(std::vector<int>)

using namespace zorvat;

namespace {

enum class Kind { Rgb, Grey, AdobeCmyk };

// Encodes a w x h picture of one colour with libjpeg; `samples` holds the
// components of that colour in the given kind.
QByteArray EncodeSolid(Kind kind, int w, int h, const std::vector<int>& samples) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = static_cast<int>(samples.size());
    cinfo.in_color_space = kind == Kind::Grey  ? JCS_GRAYSCALE
                           : kind == Kind::Rgb ? JCS_RGB
                                               : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    if (kind == Kind::AdobeCmyk) jpeg_set_colorspace(&cinfo, JCS_CMYK);  // writes the Adobe marker
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> line;
    for (int x = 0; x < w; ++x) {
        for (int s : samples)
            line.push_back(static_cast<JSAMPLE>(s));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = line.data();
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray data(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return data;
}

QByteArray Resource(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Near(QColor a, QColor b, int tolerance) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// Opens links in tests instead of the desktop's browser or mail program.
class LinkRecorder : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public slots:
    void Open(const QUrl& url) { opened << url; }
};

}  // namespace

class StartWindowTest : public QObject {
    Q_OBJECT

  private:
    QList<MessageRequest> messages_;

  private slots:
    void initTestCase() {
        InitUiResources();
        SetMessageHandler([this](const MessageRequest& request) {
            messages_ << request;
            return QMessageBox::Ok;
        });
    }
    void init() { messages_.clear(); }

    void resolutionLabelAndMessage_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("warns");
        QTest::newRow("640") << 640 << "Screen resolution: 640x480" << true;
        QTest::newRow("800") << 800 << "Screen resolution: 800x600" << true;
        QTest::newRow("1024") << 1024 << "Screen resolution: 1024x768" << false;
        QTest::newRow("1152") << 1152 << "" << false;
        QTest::newRow("1280") << 1280 << "Screen resolution: 1280x1024" << false;
        QTest::newRow("600") << 600 << "" << true;
        QTest::newRow("no screen known") << 0 << "" << false;
    }
    void resolutionLabelAndMessage() {
        QFETCH(int, width);
        QFETCH(QString, label);
        QFETCH(bool, warns);
        QPointer<TStartW> window = new TStartW;
        window->SetScreenWidth(width);
        auto* screenLabel = window->findChild<QLabel*>("Screen_lbl");
        QVERIFY(screenLabel != nullptr);
        QCOMPARE(screenLabel->text(), label);
        window->show();
        QVERIFY(messages_.isEmpty());  // nothing is said while it is shown
        window->close();
        // One read of the guarded pointer: a second one could be the null.
        const TStartW* closed = window.data();
        QVERIFY(closed == nullptr || !closed->isVisible());
        if (warns) {
            QCOMPARE(messages_.size(), 1);
            QCOMPARE(messages_[0].text,
                     QString::fromUtf8("Рекомендуемое разрешение экрана 1024х768"));
            QVERIFY(messages_[0].text.contains(QChar(0x0445)));  // the Cyrillic letter
        } else {
            QVERIFY(messages_.isEmpty());
        }
        window->close();  // a second close says nothing more
        QCOMPARE(messages_.size(), warns ? 1 : 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(window.isNull());
    }

    void showForPausesThenCloses() {
        QWidget owner;
        QPointer<TStartW> window = TStartW::ShowFor(&owner, 800, 150);
        TStartW* shown = window.data();
        QVERIFY(shown != nullptr);
        QVERIFY(shown->isVisible());
        QCOMPARE(shown->size(), QSize(428, 270));
        QVERIFY(shown->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(shown->findChild<QLabel*>("Screen_lbl")->text(),
                 QString("Screen resolution: 800x600"));
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QVERIFY(qAbs(shown->geometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(shown->geometry().center().y() - screen.center().y()) <= 1);
        const QImage shot = shown->grab().toImage();
        QVERIFY(Near(shot.pixelColor(200, 160), QColor(16, 62, 92), 60));  // the picture is drawn
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 3000);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].parent, &owner);
    }

    void decodesSolidPictures_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<std::vector<int>>("samples");
        QTest::addColumn<int>("format");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("rgb orange") << int(Kind::Rgb) << std::vector<int>{250, 140, 20}
                                    << int(QImage::Format_RGB888) << QColor(250, 140, 20);
        QTest::newRow("grey") << int(Kind::Grey) << std::vector<int>{90}
                              << int(QImage::Format_Grayscale8) << QColor(90, 90, 90);
        // Adobe CMYK keeps inverted samples: 255 means no ink.
        QTest::newRow("cmyk no ink") << int(Kind::AdobeCmyk) << std::vector<int>{255, 255, 255, 255}
                                     << int(QImage::Format_RGB32) << QColor(255, 255, 255);
        QTest::newRow("cmyk cyan") << int(Kind::AdobeCmyk) << std::vector<int>{0, 255, 255, 255}
                                   << int(QImage::Format_RGB32) << QColor(0, 255, 255);
        QTest::newRow("cmyk half black")
            << int(Kind::AdobeCmyk) << std::vector<int>{255, 255, 255, 127}
            << int(QImage::Format_RGB32) << QColor(127, 127, 127);
    }
    void decodesSolidPictures() {
        QFETCH(int, kind);
        QFETCH(std::vector<int>, samples);
        QFETCH(int, format);
        QFETCH(QColor, colour);
        QString error = "stale";
        const QImage image = DecodeJpeg(EncodeSolid(Kind(kind), 37, 21, samples), &error);
        QVERIFY2(!image.isNull(), qPrintable(error));
        QVERIFY(error.isEmpty());
        QCOMPARE(image.size(), QSize(37, 21));
        QCOMPARE(int(image.format()), format);
        for (QPoint at : {QPoint(0, 0), QPoint(36, 20), QPoint(18, 10)}) {
            QVERIFY2(Near(image.pixelColor(at), colour, 4),
                     qPrintable(image.pixelColor(at).name()));
        }
    }

    void decodesOurPictures_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("start window")
            << ":/pictures/splash.jpg" << QSize(428, 270) << QPoint(214, 120) << QColor(16, 62, 92);
        QTest::newRow("instrument") << ":/pictures/instrument.jpg" << QSize(180, 236)
                                    << QPoint(3, 3) << QColor(226, 238, 250);
        QTest::newRow("curve") << ":/pictures/curve.jpg" << QSize(44, 44) << QPoint(3, 3)
                               << QColor(255, 255, 255);
        QTest::newRow("dial") << ":/pictures/dial.jpg" << QSize(44, 44) << QPoint(3, 3)
                              << QColor(255, 255, 255);
    }
    void decodesOurPictures() {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(QPoint, at);
        QFETCH(QColor, colour);
        QString error;
        const QImage image = LoadJpeg(path, &error);
        QVERIFY2(!image.isNull(), qPrintable(error));
        QCOMPARE(image.size(), size);
        QVERIFY2(Near(image.pixelColor(at), colour, 40), qPrintable(image.pixelColor(at).name()));
        // A picture, not a flat field.
        const QImage small = image.scaled(8, 8);
        QSet<QRgb> colours;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x)
                colours << small.pixel(x, y);
        }
        QVERIFY(colours.size() > 4);
    }

    void refusesDamagedData_data() {
        QTest::addColumn<QByteArray>("data");
        const QByteArray good = Resource(":/pictures/splash.jpg");
        QVERIFY(good.size() > 2000);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not a picture") << QByteArray("this is a project file, not a picture");
        QTest::newRow("start marker and noise")
            << (QByteArray("\xFF\xD8", 2) + QByteArray(500, '\x5A'));
        QTest::newRow("headers only") << good.left(300);
        QTest::newRow("cut in the middle") << good.left(good.size() / 2);
        // A header that claims a picture of 60000 x 60000: refused before
        // anything is allocated for it.
        QByteArray huge = good;
        const qsizetype frame = huge.indexOf(QByteArray("\xFF\xC0", 2));
        QVERIFY(frame > 0);
        for (qsizetype i = frame + 5; i < frame + 9; i += 2) {
            huge[i] = char(0xEA);
            huge[i + 1] = char(0x60);
        }
        QTest::newRow("giant size in the header") << huge;
        QByteArray scrambled = good;
        for (qsizetype i = 700; i < scrambled.size() - 2; i += 7)
            scrambled[i] = char(0xFF);
        QTest::newRow("data overwritten") << scrambled;
    }
    void refusesDamagedData() {
        QFETCH(QByteArray, data);
        QString error;
        const QImage image = DecodeJpeg(data, &error);
        QVERIFY(image.isNull());
        QVERIFY(!error.isEmpty());
        QVERIFY(DecodeJpeg(data).isNull());  // no error text wanted: no crash either
    }

    void aboutBoxTextsPicturesAndLinks() {
        TForm1 about;
        QCOMPARE(about.windowTitle(), QString("О программе"));
        QCOMPARE(about.size(), QSize(408, 326));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!about.windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!about.windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
        QStringList texts;
        for (const QLabel* label : about.findChildren<QLabel*>())
            texts << label->text();
        QVERIFY(texts.contains("Программа для настройки приборов ЗОРВАТ-7X\n\n" +
                               ProgramDesignation()));
        QVERIFY(texts.contains("Версия 1.01"));
        QVERIFY(texts.contains(ReleaseLine()));
        QVERIFY(texts.contains("Web page: "));
        QVERIFY(texts.contains("E-mail: "));
        for (const char* name : {"Image1", "Image2", "Image3"}) {
            const QLabel* picture = about.findChild<QLabel*>(name);
            QVERIFY2(picture != nullptr && !picture->pixmap().isNull(), name);
        }

        LinkRecorder recorder;
        QDesktopServices::setUrlHandler("https", &recorder, "Open");
        QDesktopServices::setUrlHandler("mailto", &recorder, "Open");
        emit about.findChild<QLabel*>("WebLink")->linkActivated(MakerWebPage());
        emit about.findChild<QLabel*>("MailLink")->linkActivated("mailto:" + MakerMail());
        QDesktopServices::unsetUrlHandler("https");
        QDesktopServices::unsetUrlHandler("mailto");
        QCOMPARE(recorder.opened,
                 (QList<QUrl>{QUrl(MakerWebPage()), QUrl("mailto:" + MakerMail())}));

        auto* line = about.findChild<TScrollLine*>("ScrollLine");
        QCOMPARE(line->Text(), ReleaseLine());
        about.show();
        QVERIFY(line->IsRunning());
        auto* back = about.findChild<QPushButton*>("BackBtn");
        QCOMPARE(back->text(), QString("Назад"));
        back->click();
        QVERIFY(!about.isVisible());
        QCOMPARE(about.result(), int(QDialog::Accepted));
        QVERIFY(!line->IsRunning());
    }

    void helpIsLookedForInOrder() {
        const QByteArray saved = qgetenv("ZORVAT_HELP_DIR");
        qputenv("ZORVAT_HELP_DIR", "/opt/manuals");
        const QString exe = QCoreApplication::applicationDirPath();
        const QStringList expected{"/opt/manuals/ZORVAT-7x.html", "/srv/zorvat/ZORVAT-7x.html",
                                   "/srv/zorvat/help/ZORVAT-7x.html", exe + "/ZORVAT-7x.html",
                                   exe + "/help/ZORVAT-7x.html",
                                   // installed: bin/ and share/zorvat7x/
                                   QDir::cleanPath(exe + "/../share/zorvat7x/ZORVAT-7x.html")};
        const QStringList found = HelpFileCandidates("/srv/zorvat");
        qputenv("ZORVAT_HELP_DIR", saved);
        QCOMPARE(found, expected);
    }

    void helpOpensAtContents() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ZORVAT_HELP_DIR"), "run through ctest");
        QWidget owner;
        OpenHelp(&owner, "/nonexistent");
        QVERIFY(messages_.isEmpty());
        auto* viewer = owner.findChild<THelpViewer*>();
        QVERIFY(viewer != nullptr);
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->isModal());
        QTextBrowser* browser = viewer->Browser();
        QCOMPARE(browser->source().fileName(), QString("ZORVAT-7x.html"));
        QCOMPARE(browser->source().fragment(), QString("contents"));
        QVERIFY(browser->documentTitle().contains("ЗОРВАТ-7X"));
        QVERIFY(viewer->windowTitle().contains(browser->documentTitle()));
        const QString text = browser->toPlainText();
        for (const char* words : {"Содержание",
                                  "Связь",
                                  "Параметры",
                                  "Программатор",
                                  "График",
                                  "Найти приборы",
                                  "Параметры выбранного прибора",
                                  "Коэффициенты",
                                  "Управление коммутацией РЕЛЕ",
                                  "Пароли",
                                  "ПВИ",
                                  "ports.ini",
                                  "ZORVAT_COM",
                                  "dialout",
                                  "--program-dir",
                                  "/d",
                                  "/s",
                                  "--demo",
                                  "PID_prop.inf",
                                  "Окно ошибок обмена"}) {
            QVERIFY2(text.contains(QString::fromUtf8(words)), words);
        }

        // Every link inside the manual leads somewhere: anchors exist, local
        // files (pictures, other pages) are there.
        QSet<QString> anchors;
        QStringList hrefs;
        for (QTextBlock block = browser->document()->begin(); block.isValid();
             block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat format = it.fragment().charFormat();
                for (const QString& name : format.anchorNames())
                    anchors << name;
                if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                    hrefs << format.anchorHref();
                }
                if (format.isImageFormat()) {
                    const QString image = format.toImageFormat().name();
                    QVERIFY2(QFile::exists(
                                 QDir(qEnvironmentVariable("ZORVAT_HELP_DIR")).filePath(image)),
                             qPrintable(image));
                    QVERIFY2(!browser->document()
                                  ->resource(QTextDocument::ImageResource, QUrl(image))
                                  .isNull(),
                             qPrintable(image));
                }
            }
        }
        QVERIFY(anchors.contains("contents"));
        QVERIFY(hrefs.size() > 5);
        for (const QString& href : hrefs) {
            if (href.startsWith("#")) {
                QVERIFY2(anchors.contains(href.mid(1)), qPrintable(href));
            } else {
                QVERIFY2(QUrl(href).scheme().startsWith("http") || QUrl(href).scheme() == "mailto",
                         qPrintable(href));
            }
        }

        // Back, forward and contents.
        auto* back = viewer->findChild<QToolButton*>("HelpBackBtn");
        auto* forward = viewer->findChild<QToolButton*>("HelpForwardBtn");
        QVERIFY(!back->isEnabled());
        QUrl elsewhere = browser->source();
        elsewhere.setFragment("ports");
        browser->setSource(elsewhere);
        QVERIFY(back->isEnabled());
        back->click();
        QCOMPARE(browser->source().fragment(), QString("contents"));
        QVERIFY(forward->isEnabled());
        forward->click();
        viewer->findChild<QToolButton*>("HelpHomeBtn")->click();
        QCOMPARE(browser->source().fragment(), QString("contents"));

        // A second call reuses the viewer.
        OpenHelp(&owner, "/nonexistent");
        QCOMPARE(owner.findChildren<THelpViewer*>().size(), 1);
    }

    void helpMissingIsReported() {
        QTemporaryDir empty;
        const QString exe = QCoreApplication::applicationDirPath();
        if (QFile::exists(exe + "/ZORVAT-7x.html") || QFile::exists(exe + "/help/ZORVAT-7x.html")) {
            QSKIP("the manual lies beside this test program");
        }
        const QByteArray saved = qgetenv("ZORVAT_HELP_DIR");
        qputenv("ZORVAT_HELP_DIR", empty.path().toUtf8());
        QWidget owner;
        OpenHelp(&owner, empty.path());
        qputenv("ZORVAT_HELP_DIR", saved);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].text, "Файл справки не найден: " +
                                        QDir::toNativeSeparators(empty.filePath("ZORVAT-7x.html")));
        QVERIFY(owner.findChild<THelpViewer*>() == nullptr);
    }
};

QTEST_MAIN(StartWindowTest)
#include "start_window_test.moc"
