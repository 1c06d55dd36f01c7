// The list control of every list-bearing window: the text shortening rule,
// the convenience operations and the colours of the full-row painting.

#include "gui_test_support.h"

#include "fit_text.h"
#include "item_colors.h"
#include "list_ctrl_ex.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>

namespace {

// Every character, the dot included, 6 pixels wide.
int SixPixelsPerCharacter(const QString& text) {
    return 6 * static_cast<int>(text.size());
}

// 20x20 grey pictures with `ratio` device pixels per pixel.
std::vector<QPixmap> PlainPictures(int count, qreal ratio = 1) {
    std::vector<QPixmap> pictures;
    for (int i = 0; i < count; ++i) {
        QPixmap picture(QSize(20, 20) * ratio);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::gray);
        pictures.push_back(picture);
    }
    return pictures;
}

CItemColors* NewColors(COLORREF text, COLORREF back) {
    auto* colors = new CItemColors;
    colors->m_textColor = text;
    colors->m_backColor = back;
    return colors;
}

constexpr COLORREF kYellow = 0x0000FFFF;
constexpr COLORREF kRed = 0x00461AF7;
constexpr COLORREF kBlue = 0x00FF0000;

// What a row's fill should be.
enum class Fill { ListDefault, Red, Yellow, Highlight };

void AddColumns(CListCtrlEx& list, const QString& heading = QStringLiteral("Name")) {
    list.AddColumn(heading, 0);
    list.AddColumn(QStringLiteral("Value"), 1);
}

void AddRow(CListCtrlEx& list, const std::string& label, const std::string& value, int image) {
    int row = list.GetItemCount();
    QVERIFY(list.AddItemText(row, 0, label, image));
    QVERIFY(list.AddItemText(row, 1, value));
}

// The colour shown on screen now at `at` of the list's viewport: what the
// window last painted, not a fresh rendering, so stale pixels show.
QRgb ShownColor(CListCtrlEx& list, QPoint at) {
    QWidget* window = list.window();
    const QImage shown = window->screen()->grabWindow(window->winId()).toImage();
    return shown.pixel(list.viewport()->mapTo(window, at));
}

} // namespace

Q_DECLARE_METATYPE(Fill)

class ListCtrlTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fitTextToWidth_data();
    void fitTextToWidth();
    void fullRowSelectReportsChange();
    void sortedInsertWritesBackRow();
    void insertWithoutColumnsFails();
    void getItemImage_data();
    void getItemImage();
    void findItemByData_data();
    void findItemByData();
    void rowFill_data();
    void rowFill();
    void pictureFillsRowHeight_data();
    void pictureFillsRowHeight();
    void selectedRowSpan_data();
    void selectedRowSpan();
    void selectionChangeRepaintsWholeRow_data();
    void selectionChangeRepaintsWholeRow();
    void longNamesInNarrowColumns();
    void longListFitsItsWidestName_data();
    void longListFitsItsWidestName();
    void bulkChangeRepaintsRowsInSight();
};

void ListCtrlTest::fitTextToWidth_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("margin");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("shortened");

    const QString abc = QStringLiteral("ABCDEFGHIJ");
    const int sub = CListCtrlEx::kSubItemMargin;
    const int label = CListCtrlEx::kLabelMargin;
    QTest::newRow("sub-item/fits-exactly") << abc << 72 << sub << abc << false;
    QTest::newRow("sub-item/wide-column") << abc << 500 << sub << abc << false;
    QTest::newRow("sub-item/one-pixel-short") << abc << 71 << sub << "ABCDEFGH…" << true;
    QTest::newRow("sub-item/five-letters-at-50") << abc << 50 << sub << "ABCDE…" << true;
    QTest::newRow("sub-item/six-letters-at-54") << abc << 54 << sub << "ABCDEF…" << true;
    QTest::newRow("label/fits-exactly") << abc << 64 << label << abc << false;
    QTest::newRow("label/one-pixel-short") << abc << 63 << label << "ABCDEFGH…" << true;
    QTest::newRow("empty-text") << QString() << 0 << sub << QString() << false;
    QTest::newRow("width-2") << abc << 2 << sub << QString() << true;
    QTest::newRow("width-0") << abc << 0 << label << QString() << true;
    QTest::newRow("first-letter-kept/width-3") << abc << 3 << sub << "A…" << true;
    QTest::newRow("first-letter-kept/width-5") << abc << 5 << sub << "A…" << true;
    QTest::newRow("first-letter-kept/two-letter-text") << "WX" << 5 << sub << "W…" << true;
    QTest::newRow("first-letter-kept/one-letter-text") << "W" << 5 << sub << "W…" << true;
    const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E"); // two UTF-16 units
    QTest::newRow("first-letter-kept/surrogate-pair")
        << clef + clef + clef << 5 << sub << clef + "…" << true;
}

void ListCtrlTest::fitTextToWidth() {
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, margin);
    QFETCH(QString, expected);
    QFETCH(bool, shortened);

    bool wasShortened = !shortened;
    QCOMPARE(FitTextToWidth(text, width, margin, SixPixelsPerCharacter, &wasShortened), expected);
    QCOMPARE(wasShortened, shortened);
}

void ListCtrlTest::fullRowSelectReportsChange() {
    CListCtrlEx list;
    QVERIFY(!list.GetFullRowSelect());
    QVERIFY(list.SetFullRowSelect(true));
    QVERIFY(!list.SetFullRowSelect(true)); // already on: no change
    QVERIFY(list.GetFullRowSelect());
    QVERIFY(list.SetFullRowSelect(false));
    QVERIFY(!list.GetFullRowSelect());
}

// Callers fill a row with two calls sharing one row variable; in a sorted
// list the first call must tell where the row went.
void ListCtrlTest::sortedInsertWritesBackRow() {
    CListCtrlEx list;
    list.SetSortAscending(true);
    list.AddColumn(QStringLiteral("Code"), 0);
    list.AddColumn(QStringLiteral("Description"), 1);

    const struct {
        const char* code;
        int placedAt;
    } inserts[] = {{"%b", 0}, {"%a", 0}, {"%A", 1}};
    int row = 0;
    for (const auto& insert : inserts) {
        QVERIFY(list.AddItemText(row, 0, insert.code));
        QCOMPARE(row, insert.placedAt);
        QVERIFY(list.AddItemText(row, 1, std::string("about ") + insert.code));
        ++row;
    }
    const char* const order[] = {"%a", "%A", "%b"};
    QCOMPARE(list.GetItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(list.GetItemText(i, 0), std::string(order[i]));
        QCOMPARE(list.GetItemText(i, 1), std::string("about ") + order[i]);
    }
}

void ListCtrlTest::insertWithoutColumnsFails() {
    CListCtrlEx list;
    int row = 0;
    QVERIFY(!list.AddItemText(row, 0, "orphan"));
    QCOMPARE(row, -1);
    QCOMPARE(list.GetItemCount(), 0);

    list.AddColumn(QStringLiteral("Item"), 0);
    list.AddColumn(QStringLiteral("Description"), 1);
    row = 5; // no such row yet
    QVERIFY(!list.AddItemText(row, 1, "nowhere"));
    QCOMPARE(list.GetItemCount(), 0);
}

void ListCtrlTest::getItemImage_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("image");
    QTest::newRow("first-row") << 0 << 2;
    QTest::newRow("last-row") << 1 << 3;
    QTest::newRow("negative-row") << -1 << -1;
    QTest::newRow("past-the-end") << 2 << -1;
}

void ListCtrlTest::getItemImage() {
    QFETCH(int, row);
    QFETCH(int, image);
    CListCtrlEx list;
    AddColumns(list);
    AddRow(list, "a", "", 2);
    AddRow(list, "b", "", 1);
    QVERIFY(list.SetItemImage(1, 3));
    QVERIFY(!list.SetItemImage(2, 3));
    QCOMPARE(list.GetItemImage(row), image);
}

void ListCtrlTest::findItemByData_data() {
    QTest::addColumn<qint64>("data");
    QTest::addColumn<int>("row");
    QTest::newRow("first-of-two-carrying-it") << qint64(1000) << 0;
    QTest::newRow("single-row") << qint64(2000) << 1;
    QTest::newRow("unknown-value") << qint64(999) << -1;
}

void ListCtrlTest::findItemByData() {
    QFETCH(qint64, data);
    QFETCH(int, row);
    CListCtrlEx list;
    AddColumns(list);
    const qint64 values[] = {1000, 2000, 1000};
    for (qint64 value : values) {
        AddRow(list, "row", "", 0);
        list.Rows().back().nData = value;
    }
    QCOMPARE(list.FindItemByData(data), row);
}

void ListCtrlTest::rowFill_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("showAlways");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<Fill>("fill");

    // Rows: images 0, 2, 3 and 0x10002 (whose colour key is its low 16 bits).
    QTest::newRow("plain") << 0 << false << false << false << Fill::ListDefault;
    QTest::newRow("key-2") << 1 << false << false << false << Fill::Red;
    QTest::newRow("key-3") << 2 << false << false << false << Fill::Yellow;
    QTest::newRow("key-is-low-16-bits") << 3 << false << false << false << Fill::Red;
    QTest::newRow("plain/selected-shown-always") << 0 << true << true << false << Fill::Highlight;
    QTest::newRow("key-2/selected-shown-always") << 1 << true << true << false << Fill::Highlight;
    QTest::newRow("key-3/selected-shown-always") << 2 << true << true << false << Fill::Highlight;
    QTest::newRow("key-3/selected-focused") << 2 << true << false << true << Fill::Highlight;
    QTest::newRow("key-3/selected-unfocused") << 2 << true << false << false << Fill::Yellow;
}

// The fill is sampled right of the last column: full-row mode paints each
// row's background up to the view's right edge.
void ListCtrlTest::rowFill() {
    QFETCH(int, row);
    QFETCH(bool, selected);
    QFETCH(bool, showAlways);
    QFETCH(bool, focused);
    QFETCH(Fill, fill);

    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* other = new QLineEdit(&host);
    auto* list = new CListCtrlEx(&host);
    layout->addWidget(other);
    layout->addWidget(list);
    host.resize(480, 240);

    AddColumns(*list);
    list->SetImageList(PlainPictures(4));
    list->SetFullRowSelect(true);
    list->SetShowSelectionAlways(showAlways);
    list->SetItemColors(2, NewColors(kYellow, kRed));
    list->SetItemColors(3, NewColors(kBlue, kYellow));
    AddRow(*list, "plain.jpg", "Img_000.jpg", 0);
    AddRow(*list, "broken.jpg", "Invalid JPEG file!", 2);
    AddRow(*list, "undated.jpg", "missing", 3);
    AddRow(*list, "wide-key.jpg", "x", 0x10002);

    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    if (focused) {
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());
    } else {
        other->setFocus();
        QVERIFY(!list->hasFocus());
    }
    if (selected) {
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect |
                                           QItemSelectionModel::Rows);
    }

    const QImage image = list->viewport()->grab().toImage();
    const QRect rowRect = list->visualRect(list->model()->index(row, 0));
    const int x = list->viewport()->width() - 4;
    const int columnsEnd =
        list->header()->sectionViewportPosition(1) + list->header()->sectionSize(1);
    QVERIFY2(columnsEnd < x, "the columns must end before the sampled point");

    QColor expected;
    switch (fill) {
    case Fill::ListDefault:
        expected = list->palette().color(QPalette::Base);
        break;
    case Fill::Red:
        expected = ColorFromRef(kRed);
        break;
    case Fill::Yellow:
        expected = ColorFromRef(kYellow);
        break;
    case Fill::Highlight:
        expected = list->palette().color(QPalette::Highlight);
        break;
    }
    QCOMPARE(image.pixelColor(x, rowRect.center().y()).rgb(), expected.rgb());
}

void ListCtrlTest::pictureFillsRowHeight_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("ratio-1") << qreal(1);
    QTest::newRow("ratio-2") << qreal(2);
}

// A picture drawn for a scaled screen is placed by its size on screen, not by
// its device pixels: it fills its row from top to bottom.
void ListCtrlTest::pictureFillsRowHeight() {
    QFETCH(qreal, ratio);
    CListCtrlEx list;
    list.resize(320, 160);
    AddColumns(list);
    list.SetImageList(PlainPictures(1, ratio));
    list.SetFullRowSelect(true);
    AddRow(list, "a.jpg", "x", 0);
    AddRow(list, "b.jpg", "y", 0);

    const QImage image = list.viewport()->grab().toImage();
    const QRect row = list.visualRect(list.model()->index(1, 0));
    QVERIFY(row.height() <= 22);
    const QRgb gray = QColor(Qt::gray).rgb();
    QCOMPARE(image.pixel(2, row.top() + 2), gray);
    QCOMPARE(image.pixel(2, row.bottom() - 2), gray);
}

void ListCtrlTest::selectedRowSpan_data() {
    QTest::addColumn<bool>("fullRow");
    QTest::addColumn<bool>("restHighlighted"); // the second cell and the strip after it
    QTest::newRow("full-row") << true << true;
    QTest::newRow("label-only") << false << false;
}

// In full-row mode the whole row shows the selection; without it only the
// label does, as in the format builder's list of codes.
void ListCtrlTest::selectedRowSpan() {
    QFETCH(bool, fullRow);
    QFETCH(bool, restHighlighted);

    CListCtrlEx list;
    list.resize(480, 240);
    AddColumns(list);
    list.SetFullRowSelect(fullRow);
    list.SetShowSelectionAlways(true);
    AddRow(list, "a.jpg", "x", -1);
    AddRow(list, "b.jpg", "y", -1);
    list.header()->resizeSection(1, 120);
    list.selectionModel()->select(list.model()->index(1, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

    const QImage image = list.viewport()->grab().toImage();
    const QRect label = list.visualRect(list.model()->index(1, 0));
    const QRect second = list.visualRect(list.model()->index(1, 1));
    const QRgb highlight = list.palette().color(QPalette::Highlight).rgb();
    const QRgb base = list.palette().color(QPalette::Base).rgb();
    const QRgb rest = restHighlighted ? highlight : base;
    QCOMPARE(image.pixel(label.left() + 1, label.top() + 1), highlight);
    QCOMPARE(image.pixel(second.right() - 4, second.top() + 1), rest);
    QCOMPARE(image.pixel(list.viewport()->width() - 4, second.top() + 1), rest);
}

void ListCtrlTest::selectionChangeRepaintsWholeRow_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selectedAfter"); // -1: none

    QTest::newRow("click-below-the-rows") << "below" << -1;
    QTest::newRow("click-right-of-the-columns") << "right" << -1;
    QTest::newRow("ctrl-click-the-selected-row") << "ctrl" << -1;
    QTest::newRow("click-another-row") << "other" << 2;
}

// The strip right of the last column belongs to the row's highlight: when the
// selection moves or goes, it is repainted with the rest of the row.
void ListCtrlTest::selectionChangeRepaintsWholeRow() {
    QFETCH(QString, action);
    QFETCH(int, selectedAfter);

    QWidget host;
    auto* layout = new QVBoxLayout(&host);
    auto* list = new CListCtrlEx(&host);
    layout->addWidget(list);
    host.resize(480, 240);
    AddColumns(*list);
    list->SetFullRowSelect(true);
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        AddRow(*list, name, "x", 0);
    host.show();
    host.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&host));
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());

    const auto rowCenter = [&](int row) {
        return list->visualRect(list->model()->index(row, 0)).center();
    };
    const int stripX = list->viewport()->width() - 4;
    const int columnsEnd =
        list->header()->sectionViewportPosition(1) + list->header()->sectionSize(1);
    QVERIFY2(columnsEnd < stripX, "the columns must end before the sampled point");
    const QRgb highlight = list->palette().color(QPalette::Highlight).rgb();
    const QRgb base = list->palette().color(QPalette::Base).rgb();

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCenter(1));
    QTRY_COMPARE(ShownColor(*list, {stripX, rowCenter(1).y()}), highlight);

    if (action == QLatin1String("below"))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          {rowCenter(2).x(), rowCenter(2).y() + 3 * rowCenter(1).y()});
    else if (action == QLatin1String("right"))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, {stripX, rowCenter(1).y()});
    else if (action == QLatin1String("ctrl"))
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCenter(1));
    else
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCenter(2));

    for (int row = 0; row < 3; ++row) {
        const QRgb expected = row == selectedAfter ? highlight : base;
        QTRY_COMPARE_WITH_TIMEOUT(ShownColor(*list, {stripX, rowCenter(row).y()}), expected, 1000);
    }
}

// A list long enough to be measured by two threads fits its widest name,
// wherever it is and whatever its characters.
void ListCtrlTest::longListFitsItsWidestName_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("widest");
    QTest::newRow("ascii_first") << 5 << QStringLiteral("WWWWWWWWWW.jpg");
    QTest::newRow("ascii_last") << 39990 << QStringLiteral("WWWWWWWWWW.jpg");
    QTest::newRow("other_last") << 39990 << QStringLiteral("ÉÉÉÉÉÉÉÉÉÉ.jpg");
}

void ListCtrlTest::longListFitsItsWidestName() {
    QFETCH(int, row);
    QFETCH(QString, widest);
    CListCtrlEx list;
    list.resize(600, 200);
    AddColumns(list);
    AddRow(list, "a.jpg", "", 0);
    list.Rows().resize(40000, list.Rows()[0]);
    list.Rows()[std::size_t(row)].SetText(0, CListModel::Encode(widest));
    list.AutoSizeColumn(0);
    QVERIFY(list.header()->sectionSize(0) > list.fontMetrics().horizontalAdvance(widest));
}

// No auto-sized column takes more than two thirds of the view; a text or a
// heading that its column shortens ends in dots, the text whole in its tooltip.
void ListCtrlTest::longNamesInNarrowColumns() {
    const QString name = QStringLiteral("a_name_too_long_for_a_narrow_column.jpg");
    const auto view = [&name](const QString& heading, bool fullRow) {
        auto list = std::make_unique<CListCtrlEx>();
        list->resize(600, 200);
        AddColumns(*list, heading);
        list->SetFullRowSelect(fullRow);
        AddRow(*list, name.toStdString(), "b.jpg", 0);
        list->show();
        list->header()->resizeSection(0, 60);
        return list;
    };
    for (const bool fullRow : {true, false}) {
        const auto list = view(QStringLiteral("Name"), fullRow);
        const auto tip = [&list] { return list->CellToolTip(list->model()->index(0, 0)); };
        list->AutoSizeColumn(0);
        QCOMPARE(tip(), QString());
        list->resize(150, 200);
        QTRY_COMPARE(list->header()->sectionSize(0), list->viewport()->width() * 2 / 3);
        QCOMPARE(tip(), name);
    }
    // Two long names: the new one gets at least half the view, both end
    // inside it, cut with their tooltips; short ones leave room for their
    // headings whole.
    for (const bool longNames : {true, false}) {
        const auto both = view(QStringLiteral("Original File Name"), true);
        const std::string text = longNames ? (name + name).toStdString() : "b.jpg";
        both->Rows()[0].SetText(0, text);
        both->Rows()[0].SetText(1, text);
        both->AutoSizeColumn(0);
        both->AutoSizeColumn(1);
        const int width = both->viewport()->width();
        const QHeaderView& heading = *both->header();
        const QModelIndex converted = both->model()->index(0, 1);
        if (longNames) {
            QVERIFY(heading.sectionSize(1) >= width / 2);
            QCOMPARE(heading.sectionSize(0) + heading.sectionSize(1), width);
            QCOMPARE(both->CellToolTip(converted), QString::fromStdString(text));
        } else {
            QVERIFY(heading.sectionSize(0) >=
                    heading.fontMetrics().horizontalAdvance(QStringLiteral("Original File Name")));
            QCOMPARE(both->CellToolTip(converted), QString());
        }
    }
    const auto whole = view(name, true);
    QStyleOptionHeader label;
    label.initFrom(whole->header());
    label.rect = QRect(0, 0, 60, whole->header()->height());
    const QString dotted = label.fontMetrics.elidedText(
        name, Qt::ElideRight,
        whole->style()->subElementRect(QStyle::SE_HeaderLabel, &label, whole->header()).width());
    QVERIFY(dotted.endsWith(QChar(0x2026)));
    QCOMPARE(whole->header()->grab(label.rect).toImage(),
             view(dotted, true)->header()->grab(label.rect).toImage());
}

// A change of every row of a long list reaches the view for the rows in sight
// only: wherever the list stands, those are painted anew.
void ListCtrlTest::bulkChangeRepaintsRowsInSight() {
    const COLORREF fills[] = {kYellow, kBlue, kRed};
    for (const int scrollTo : {0, 500, 999}) { // first rows, middle, last rows
        CListCtrlEx list;
        list.resize(300, 200);
        AddColumns(list);
        list.SetFullRowSelect(true);
        for (std::uint16_t image = 0; image < 3; ++image)
            list.SetItemColors(image, NewColors(0, fills[image]));
        list.BeginReplaceRows();
        list.Rows().resize(1000);
        for (std::size_t i = 0; i < list.Rows().size(); ++i)
            list.Rows()[i].nImage = i % 2;
        list.EndReplaceRows();
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.scrollTo(list.model()->index(scrollTo, 0));

        // Inside the second column, which holds no text.
        const int x = list.header()->sectionViewportPosition(1) + 2;
        const auto shown = [&list, x](int row) {
            return ShownColor(list, {x, list.visualRect(list.model()->index(row, 0)).center().y()});
        };
        const QModelIndex bottom = list.indexAt({0, list.viewport()->height() - 1});
        const int first = list.indexAt({0, 0}).row();
        const int last = bottom.isValid() ? bottom.row() : 999;
        for (const int row : {first, last}) // the scroll painted
            QTRY_COMPARE(shown(row), ColorFromRef(fills[row % 2]).rgb());
        for (CListRow& row : list.Rows())
            row.nImage = 2;
        list.RowsChanged();
        for (const int row : {first, (first + last) / 2, last})
            QTRY_COMPARE(shown(row), ColorFromRef(kRed).rgb());
    }
}

VELMORA_GUI_TEST_MAIN(ListCtrlTest)

#include "list_ctrl_test.moc"
