#include "tools/notch-snapshot/ContactSheet.h"

#include <vector>

#include <QPainter>

#include "main/ui/design/Faces.h"
#include "tools/notch-snapshot/ScriptedPanel.h"

namespace murmeli::snapshot {

namespace {

constexpr qreal stripScale = 2;
constexpr int margin = 28;
constexpr int captionWidth = 190;
constexpr int gap = 16;
const QColor sheetBackground(58, 56, 54);
const QColor captionColour(225, 220, 212);
const QColor headingColour(255, 255, 255);

const test::StripScene::Options compact { 200, 32, 0, false };
const test::StripScene::Options notched { 380, 32, 200, false };

QImage shot(const QString& state, qint64 atMs, test::StripScene::Options options)
{
    PanelScript script;
    script.state = state;
    auto panel = ScriptedPanel::make(script, options);
    QImage image = panel->renderAt(atMs, stripScale);
    image.setDevicePixelRatio(1);
    return image;
}

test::StripScene::Options reduced(test::StripScene::Options options)
{
    options.reduceMotion = true;
    return options;
}

/// Lays the sheet out top to bottom: headings, then rows of a caption and pictures.
class Sheet final {
public:
    struct Row {
        QString caption;
        std::vector<QImage> pictures;
    };
    struct Section {
        QString heading;
        QStringList columns;
        std::vector<Row> rows;
    };

    void add(Section section) { m_sections.push_back(std::move(section)); }

    QImage render() const
    {
        const QSize size = measure();
        QImage sheet(size, QImage::Format_ARGB32_Premultiplied);
        sheet.fill(sheetBackground);
        QPainter painter(&sheet);
        painter.setRenderHint(QPainter::Antialiasing);
        int y = margin;
        for (const Section& section : m_sections) {
            painter.setFont(ui::Faces::instrumentSans(20, QFont::DemiBold));
            painter.setPen(headingColour);
            painter.drawText(
                QRect(margin, y, size.width() - 2 * margin, headingHeight), Qt::AlignVCenter, section.heading);
            y += headingHeight;
            painter.setFont(ui::Faces::instrumentSans(14, QFont::Medium));
            painter.setPen(captionColour);
            if (!section.columns.isEmpty()) {
                int x = margin + captionWidth;
                for (int i = 0; i < section.columns.size(); ++i) {
                    const int width = section.rows.front().pictures[i].width();
                    painter.drawText(
                        QRect(x, y, width, columnHeight), Qt::AlignLeft | Qt::AlignVCenter, section.columns[i]);
                    x += width + gap;
                }
                y += columnHeight;
            }
            for (const Row& row : section.rows) {
                int height = 0;
                for (const QImage& picture : row.pictures) {
                    height = std::max(height, picture.height());
                }
                painter.drawText(
                    QRect(margin, y, captionWidth - gap, height), Qt::AlignLeft | Qt::AlignVCenter, row.caption);
                int x = margin + captionWidth;
                for (const QImage& picture : row.pictures) {
                    painter.drawImage(QPoint(x, y), picture);
                    x += picture.width() + gap;
                }
                y += height + gap;
            }
            y += sectionSpacing;
        }
        return sheet;
    }

private:
    static constexpr int headingHeight = 40;
    static constexpr int columnHeight = 26;
    static constexpr int sectionSpacing = 18;

    QSize measure() const
    {
        int width = 0;
        int height = margin;
        for (const Section& section : m_sections) {
            height += headingHeight + (section.columns.isEmpty() ? 0 : columnHeight) + sectionSpacing;
            for (const Row& row : section.rows) {
                int rowWidth = margin + captionWidth;
                int rowHeight = 0;
                for (const QImage& picture : row.pictures) {
                    rowWidth += picture.width() + gap;
                    rowHeight = std::max(rowHeight, picture.height());
                }
                width = std::max(width, rowWidth + margin);
                height += rowHeight + gap;
            }
        }
        return { width, height + margin };
    }

    std::vector<Section> m_sections;
};

} // namespace

QImage contactSheet()
{
    Sheet sheet;

    Sheet::Section displays { QStringLiteral("Closed strip, each display, 1.25 s after it shows"),
        { QStringLiteral("no notch: 200 × 32"), QStringLiteral("around a 200-point notch: 380 × 32") }, {} };
    for (const QString& state : stateNames()) {
        displays.rows.push_back({ state, { shot(state, 1250, compact), shot(state, 1250, notched) } });
    }
    sheet.add(std::move(displays));

    Sheet::Section glyphs { QStringLiteral("Glyphs and ears in motion"),
        { QStringLiteral("0 s"), QStringLiteral("0.3 s"), QStringLiteral("1.25 s"),
            QStringLiteral("reduced motion, 1.25 s") },
        {} };
    const QStringList glyphStates { "brand", "activity", "completion", "error", "start", "ptt" };
    for (const QString& state : glyphStates) {
        glyphs.rows.push_back({ state,
            { shot(state, 0, compact), shot(state, 300, compact), shot(state, 1250, compact),
                shot(state, 1250, reduced(compact)) } });
    }
    sheet.add(std::move(glyphs));

    Sheet::Section marquee { QStringLiteral("Full-width marquee: 50 points a second, three passes"),
        { QStringLiteral("0 s"), QStringLiteral("2 s"), QStringLiteral("4 s") }, {} };
    marquee.rows.push_back({ QStringLiteral("approval"),
        { shot("approval", 0, notched), shot("approval", 2000, notched), shot("approval", 4000, notched) } });
    marquee.rows.push_back({ QStringLiteral("summary"),
        { shot("summary", 0, notched), shot("summary", 2000, notched), shot("summary", 4000, notched) } });
    marquee.rows.push_back({ QStringLiteral("summary, reduced"),
        { shot("summary", 0, reduced(notched)), shot("summary", 2000, reduced(notched)),
            shot("summary", 4000, reduced(notched)) } });
    sheet.add(std::move(marquee));

    // The band's two ends, four times larger: the text fades out over the outer 14 points.
    PanelScript approval;
    approval.state = QStringLiteral("approval");
    auto panel = ScriptedPanel::make(approval, notched);
    QImage large = panel->renderAt(2000, 8);
    large.setDevicePixelRatio(1);
    const int endWidth = 48 * 8;
    Sheet::Section fade { QStringLiteral("Marquee band ends at 8×: clipped 2 points in, faded over 14"),
        { QStringLiteral("left end"), QStringLiteral("right end") },
        { { QStringLiteral("approval, 2 s"),
            { large.copy(0, 0, endWidth, large.height()),
                large.copy(large.width() - endWidth, 0, endWidth, large.height()) } } } };
    sheet.add(std::move(fade));

    return sheet.render();
}

} // namespace murmeli::snapshot
