// Every window laid out with the fonts the editor meets where Arial is missing (Liberation Sans,
// DejaVu Sans), with a look and with none: each text fits its control, no two texts of one
// parent run into each other, nothing in a group box lies on its frame or title, the menu bar
// shows every menu. CTest runs it at 100 % and again at 200 % (QT_SCALE_FACTOR=2 on a
// 1600 x 1000 screen). The placement of the windows beside the main window is checked here too.
#include "support/Finish.h"
#include "EditorRig.h"
#include "windows/CompareWindow.h"
#include "windows/Dial.h"
#include "windows/EffectWindow.h"
#include "windows/Placement.h"
#include "windows/WrapButton.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {
QString where(const QWidget *w)
{
    QStringList path;
    for (const QWidget *p = w; p; p = p->isWindow() ? nullptr : p->parentWidget())
        path.prepend(p->objectName().isEmpty() ? QString::fromLatin1(p->metaObject()->className()) : p->objectName());
    return path.join(QLatin1Char('/'));
}

QString said(const QWidget *w)
{
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *c = qobject_cast<const QComboBox *>(w))
        return c->currentText();
    return {};
}

QString rectText(const QRect &r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// One window's texts, checked as it is laid out.
class LayoutCheck {
public:
    QStringList faults;

    void window(QWidget *w) { children(w); }

private:
    // The rectangle (in the widget's own coordinates) its text takes, or an empty one; checks on
    // the way that the text fits the room the control gives it.
    QRect textRect(QWidget *w)
    {
        const QFontMetrics fm(w->font());
        if (auto *l = qobject_cast<QLabel *>(w)) {
            if (l->text().isEmpty() || l->textFormat() == Qt::RichText)
                return {};
            if (l->wordWrap()) {
                const QRect room = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
                for (const QString &word : l->text().split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    fits(w, QSize(fm.horizontalAdvance(word), fm.height()), room, word);
                const QRect need = fm.boundingRect(room, int(l->alignment()) | Qt::TextWordWrap, l->text());
                fits(w, need.size(), room, l->text());
                return need & room;
            }
            const QStringList lines = l->text().split(QLatin1Char('\n'));
            int width = 0;
            for (const QString &line : lines)
                width = qMax(width, fm.horizontalAdvance(line));
            const QSize need(width, fm.height() + (int(lines.size()) - 1) * fm.lineSpacing());
            const int m = l->margin() + qMax(0, l->indent());
            const QRect room = l->contentsRect().adjusted(m, l->margin(), -m, -l->margin());
            fits(w, need, room, l->text());
            return QStyle::alignedRect(l->layoutDirection(), l->alignment(), need.boundedTo(room.size()).expandedTo(need),
                                       room) & l->rect();
        }
        if (qobject_cast<QCheckBox *>(w) || qobject_cast<QRadioButton *>(w)) {
            auto *b = static_cast<QAbstractButton *>(w);
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            const bool check = qobject_cast<QCheckBox *>(w);
            const QRect room = b->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents,
                                                          &opt, b);
            const QSize need(fm.horizontalAdvance(b->text()), fm.height());
            fits(w, need, room, b->text());
            return QRect(room.topLeft() + QPoint(0, (room.height() - need.height()) / 2), need);
        }
        if (qobject_cast<WrapButton *>(w))
            return w->rect(); // its caption wraps and shrinks to the face it has
        if (auto *b = qobject_cast<QPushButton *>(w)) {
            if (b->text().isEmpty())
                return {};
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
            const QSize need(fm.horizontalAdvance(b->text()), fm.height());
            fits(w, need, room, b->text());
            return QStyle::alignedRect(b->layoutDirection(), Qt::AlignCenter, need, room);
        }
        if (auto *c = qobject_cast<QComboBox *>(w)) {
            QStyleOptionComboBox opt;
            opt.initFrom(c);
            opt.editable = c->isEditable();
            opt.currentText = c->currentText();
            const QRect room = c->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
            for (int i = 0; i < c->count(); ++i)
                fits(w, QSize(fm.horizontalAdvance(c->itemText(i)), fm.height()), room, c->itemText(i));
            return room;
        }
        if (auto *s = qobject_cast<OnOffSwitch *>(w)) {
            const QFontMetrics sm(s->textFont());
            const QRect room = s->textArea().toAlignedRect();
            for (const QString &t : {QStringLiteral("ON"), QStringLiteral("OFF")})
                fits(w, QSize(qCeil(QFontMetricsF(s->textFont()).horizontalAdvance(t)), sm.height()),
                     s->textArea().toRect(), t);
            return room;
        }
        return {};
    }

    void fits(QWidget *w, QSize need, QRect room, const QString &text)
    {
        if (need.width() > room.width() || need.height() > room.height())
            faults << QStringLiteral("%1: \"%2\" needs %3x%4, has %5x%6")
                          .arg(where(w), text)
                          .arg(need.width())
                          .arg(need.height())
                          .arg(room.width())
                          .arg(room.height());
    }

    static bool leafControl(QWidget *w)
    {
        return qobject_cast<QComboBox *>(w) || qobject_cast<QAbstractScrollArea *>(w) || qobject_cast<QAbstractButton *>(w) ||
               qobject_cast<QProgressBar *>(w) || qobject_cast<RotaryDial *>(w) || qobject_cast<QLabel *>(w) ||
               qobject_cast<QMenuBar *>(w);
    }

    void children(QWidget *parent)
    {
        struct Text {
            QWidget *w;
            QRect r;
        };
        QList<Text> texts;
        const auto kids = parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *w : kids) {
            if (w->isWindow() || !w->isVisible())
                continue;
            const QRect r = textRect(w);
            if (!r.isEmpty())
                texts << Text{w, r.translated(w->pos())};
            if (auto *box = qobject_cast<QGroupBox *>(parent))
                insideGroupBox(box, w, r.isEmpty() ? QRect() : r.translated(w->pos()));
            if (!leafControl(w))
                children(w);
        }
        if (auto *box = qobject_cast<QGroupBox *>(parent); box && !box->title().isEmpty()) {
            const QRect title = titleRect(box);
            if (title.width() > box->width())
                faults << QStringLiteral("%1: the title is wider than the box").arg(where(box));
        }
        // Two texts of one parent on the same line keep at least one average character apart
        // (a control set onto another on purpose, as the "i" on Save Parameters, aside).
        for (int i = 0; i < texts.size(); ++i) {
            for (int j = i + 1; j < texts.size(); ++j) {
                if (texts[i].w->geometry().intersects(texts[j].w->geometry()))
                    continue;
                const int gap = QFontMetrics(parent->font()).averageCharWidth();
                const QRect a = texts[i].r.adjusted(-gap / 2, 0, gap - gap / 2, 0);
                if (a.intersects(texts[j].r))
                    faults << QStringLiteral("%1 (\"%2\" at %3) and %4 (\"%5\" at %6) run together")
                                  .arg(where(texts[i].w), said(texts[i].w), rectText(texts[i].r), where(texts[j].w),
                                       said(texts[j].w), rectText(texts[j].r));
            }
        }
    }

    static QStyleOptionGroupBox groupOption(QGroupBox *box)
    {
        QStyleOptionGroupBox opt;
        opt.initFrom(box);
        opt.text = box->title();
        opt.lineWidth = 1;
        opt.midLineWidth = 0;
        opt.textAlignment = box->alignment();
        opt.subControls = QStyle::SC_GroupBoxFrame | (box->title().isEmpty() ? QStyle::SC_None : QStyle::SC_GroupBoxLabel);
        opt.features = box->isFlat() ? QStyleOptionFrame::Flat : QStyleOptionFrame::None;
        return opt;
    }
    static QRect titleRect(QGroupBox *box)
    {
        if (box->title().isEmpty())
            return {};
        const QStyleOptionGroupBox opt = groupOption(box);
        return box->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, box);
    }

    // A child of a group box lies inside its frame line, below its title; so does its text.
    void insideGroupBox(QGroupBox *box, QWidget *w, QRect text)
    {
        const QStyleOptionGroupBox opt = groupOption(box);
        const QRect frame = box->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxFrame, box);
        const QRect inside = frame.adjusted(1, 1, -1, -1);
        const QRect title = titleRect(box);
        for (const QRect &r : {w->geometry(), text}) {
            if (r.isEmpty())
                continue;
            if (!inside.contains(r) || r.intersects(title))
                faults << QStringLiteral("%1 at %2 lies on the frame of %3 (inside %4, title %5)")
                              .arg(where(w), rectText(r), where(box), rectText(inside), rectText(title));
        }
    }
};

QWidget *window(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name)
            return w;
    return nullptr;
}
} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFontDatabase::families().contains("Liberation Sans"), "tools/install-deps.sh installs fonts-liberation");
        QVERIFY2(QFontDatabase::families().contains("DejaVu Sans"), "tools/install-deps.sh installs fonts-dejavu-core");
        qInfo() << "screen" << QGuiApplication::primaryScreen()->geometry() << "scale"
                << QGuiApplication::primaryScreen()->devicePixelRatio();
    }
    void cleanup()
    {
        qApp->setStyleSheet(QString());
        QApplication::setFont(QFont());
    }

    void texts_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("look");
        for (const char *form : {"formMain", "formFXsettings", "formFirmwareUpgrade", "formCompare",
                                 "formNoteTrackingFilter", "formNewVersionMsg", "formPrint"})
            for (const char *family : {"Liberation Sans", "DejaVu Sans"})
                for (bool look : {true, false})
                    QTest::addRow("%s, %s, %s", form, family, look ? "look 0" : "no look")
                        << QString::fromLatin1(form) << QString::fromLatin1(family) << look;
    }
    void texts()
    {
        QFETCH(QString, form);
        QFETCH(QString, family);
        QFETCH(bool, look);
        QFont font(family);
        font.setPointSizeF(9);
        QApplication::setFont(font);
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        if (!look)
            qApp->setStyleSheet(QString());
        rig.main()->show();
        rig.link(); // the effect window opens, its controls enabled
        rig.main()->compareWindow();
        QWidget *w = window(form);
        QVERIFY(w);
        if (auto *progress = w->findChild<QLabel *>(QStringLiteral("lblProgress")))
            progress->setText(QStringLiteral("Stopped: choose Upgrade Firmware to try again")); // its longest
        w->show();
        QCoreApplication::sendPostedEvents();
        if (w->layout())
            w->layout()->activate();
        LayoutCheck check;
        check.window(w);
        if (auto *main = qobject_cast<MainWindow *>(w)) {
            QMenuBar *bar = main->menuBar();
            for (QAction *menu : bar->actions()) {
                if (menu->isVisible() && !bar->rect().contains(bar->actionGeometry(menu)))
                    check.faults << QStringLiteral("the menu bar has no room for %1").arg(menu->text());
            }
            auto *more = bar->findChild<QToolButton *>(QStringLiteral("qt_menubar_ext_button"));
            if (more && more->isVisible())
                check.faults << QStringLiteral("the menu bar hides menus behind its extension");
        }
        for (const QString &fault : std::as_const(check.faults))
            qInfo().noquote() << fault;
        QVERIFY2(check.faults.isEmpty(), qPrintable(QStringLiteral("%1 faults (above)").arg(check.faults.size())));
    }

    void placement_data()
    {
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<int>("side");
        QTest::addColumn<QPoint>("nudge");
        QTest::addColumn<QPoint>("expected");
        const QRect desktop(0, 0, 1366, 728); // 1366 x 768 less a 40 pixel panel
        const QRect laptop(0, 0, 800, 476);   // 1600 x 1000 at 200 %, less a panel
        const QRect main(37, 31, 364, 266);
        const int right = int(Placement::Side::Right), below = int(Placement::Side::Below);
        QTest::newRow("effect beside the main window") << QSize(444, 478) << main << desktop << right << QPoint() << QPoint(401, 31);
        QTest::newRow("effect at 200 %: on the screen") << QSize(444, 478) << main << laptop << right << QPoint() << QPoint(356, 0);
        QTest::newRow("effect left of a main window at the right")
            << QSize(444, 478) << QRect(900, 100, 364, 266) << desktop << right << QPoint() << QPoint(456, 100);
        QTest::newRow("effect raised to fit below") << QSize(444, 478) << QRect(37, 400, 364, 266) << desktop << right << QPoint()
                                                    << QPoint(401, 250);
        QTest::newRow("compare beside") << QSize(644, 590) << main << desktop << right << QPoint() << QPoint(401, 31);
        QTest::newRow("compare larger than the screen: its corner on it")
            << QSize(900, 600) << main << laptop << right << QPoint() << QPoint(0, 0);
        QTest::newRow("firmware below") << QSize(200, 170) << main << desktop << below << QPoint() << QPoint(37, 297);
        QTest::newRow("firmware above a low main window")
            << QSize(200, 170) << QRect(37, 400, 364, 266) << laptop << below << QPoint() << QPoint(37, 230);
        QTest::newRow("note cut below, nudged") << QSize(226, 145) << main << desktop << below << QPoint(20, 10)
                                                << QPoint(57, 307);
        QTest::newRow("note cut at 200 %: onto the screen")
            << QSize(226, 145) << QRect(37, 250, 364, 266) << laptop << below << QPoint(20, 10) << QPoint(57, 95);
        QTest::newRow("screen not at the origin")
            << QSize(444, 478) << QRect(1400, 31, 364, 266) << QRect(1366, 0, 1920, 1040) << right << QPoint()
            << QPoint(1764, 31);
    }
    void placement()
    {
        QFETCH(QSize, frame);
        QFETCH(QRect, main);
        QFETCH(QRect, screen);
        QFETCH(int, side);
        QFETCH(QPoint, nudge);
        QFETCH(QPoint, expected);
        const QPoint at = Placement::position(frame, main, screen, Placement::Side(side), nudge);
        QCOMPARE(at, expected);
        QVERIFY(screen.contains(QRect(at, frame)) || frame.width() > screen.width() || frame.height() > screen.height());
    }

    // On the screen this run has (1366 x 768, or 1600 x 1000 at 200 %) every window the main
    // window opens lies wholly on it.
    void windowsOpenOnTheScreen()
    {
        QTemporaryDir docs;
        EditorRig rig(docs.path());
        rig.main()->show();
        rig.link();
        rig.main()->menuNoteCut->trigger();
        rig.main()->menuCompare->trigger();
        rig.main()->menuFirmwareUpgradeMode->trigger();
        const QRect screen = rig.main()->screen()->availableGeometry();
        for (const char *form : {"formFXsettings", "formNoteTrackingFilter", "formCompare", "formFirmwareUpgrade"}) {
            QWidget *w = window(QString::fromLatin1(form));
            QVERIFY2(w && w->isVisible(), form);
            if (w->frameGeometry().width() <= screen.width() && w->frameGeometry().height() <= screen.height())
                QVERIFY2(screen.contains(w->frameGeometry()),
                         qPrintable(QStringLiteral("%1 at %2").arg(form, rectText(w->frameGeometry()))));
            else
                QVERIFY2(screen.contains(w->frameGeometry().topLeft()), form);
        }
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
