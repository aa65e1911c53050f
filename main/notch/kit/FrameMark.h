#pragma once

#include <array>

#include <QImage>
#include <QRgb>
#include <QtGlobal>

namespace murmeli::notch {

/// A mark by which the screen is seen to show one frame of a window and not another that looks the same: a short row
/// of pixels of one colour whose lowest bits spell a number no other mark of the window had. The eye does not tell
/// them from the colour; the screen shows them exactly where the window is opaque.
class FrameMark final {
public:
    /// Pixels in the row, each carrying three bits.
    static constexpr int length = 8;

    FrameMark(QRgb ground, quint32 key) : m_ground(ground), m_key(key) { }

    /// The key after previous: one whose row is not one colour, since a plain stretch of the ground could spell that.
    static quint32 nextKey(quint32 previous)
    {
        quint32 key = previous;
        do {
            key = (key + 1) & ((1U << (3 * length)) - 1);
        } while (key % (1U << 3) * 0x249249U == key);
        return key;
    }

    quint32 key() const { return m_key; }
    /// The colours of the row, left to right.
    std::array<QRgb, length> pixels() const
    {
        std::array<QRgb, length> row {};
        for (int i = 0; i < length; ++i) {
            const quint32 bits = m_key >> (3 * i);
            row[static_cast<size_t>(i)] = qRgb((qRed(m_ground) & ~1) | (bits & 1),
                (qGreen(m_ground) & ~1) | (bits >> 1 & 1), (qBlue(m_ground) & ~1) | (bits >> 2 & 1));
        }
        return row;
    }
    /// Whether shown holds this mark anywhere in it: a look a pixel or two around the spot finds it where the
    /// window's place on the screen is a fraction of a pixel off what the window takes it to be.
    bool isShownBy(const QImage& shown) const
    {
        const std::array<QRgb, length> row = pixels();
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x + length <= shown.width(); ++x) {
                int i = 0;
                while (i < length && (shown.pixel(x + i, y) & RGB_MASK) == (row[static_cast<size_t>(i)] & RGB_MASK)) {
                    ++i;
                }
                if (i == length) {
                    return true;
                }
            }
        }
        return false;
    }

private:
    QRgb m_ground;
    quint32 m_key;
};

} // namespace murmeli::notch
