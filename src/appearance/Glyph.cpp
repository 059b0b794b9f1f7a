#include "appearance/Glyph.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <unordered_map>

// The built-in icon lives in the core library's resources; a static library's resources must be
// pulled in by name, or the linker leaves them out.
static void InitIconResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(orvane);
        return true;
    }();
    Q_UNUSED(done);
}

static QPixmap DrawGlyph(const QIcon &icon, const QColor &face, qreal ratio);

QPixmap MakeGlyph(const QIcon &icon, const QColor &face, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    // Many buttons show the same icon (the shell hands out one icon per file and index): each
    // glyph is drawn once.
    struct Key {
        qint64 icon;
        QRgb face;
        qreal ratio;
        bool operator==(const Key &) const = default;
    };
    struct KeyHash {
        size_t operator()(const Key &k) const { return qHashMulti(0, k.icon, k.face, k.ratio); }
    };
    static std::unordered_map<Key, QPixmap, KeyHash> drawn;
    if (icon.isNull())
        return DrawGlyph(icon, face, ratio);
    const Key key{icon.cacheKey(), face.rgba(), ratio};
    if (auto found = drawn.find(key); found != drawn.end())
        return found->second;
    if (drawn.size() > 1024)
        drawn.clear();
    return drawn.emplace(key, DrawGlyph(icon, face, ratio)).first->second;
}

static QPixmap DrawGlyph(const QIcon &icon, const QColor &face, qreal ratio) {
    QPixmap glyph(kGlyphSize * ratio);
    glyph.setDevicePixelRatio(ratio);
    glyph.fill(face);
    if (icon.isNull())
        return glyph;
    // Icons come in many sizes here (theme icons, image files); each fills the icon square,
    // keeping its proportions, from the top-left corner.
    const QPixmap image = icon.pixmap(QSize(kIconSide, kIconSide), ratio);
    if (image.isNull())
        return glyph;
    QSizeF size = image.deviceIndependentSize();
    size.scale(kIconSide, kIconSide, Qt::KeepAspectRatio);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(QPointF(0, 0), size), image, QRectF(image.rect()));
    return glyph;
}

QIcon BuiltInIcon() {
    // Decoded once: every button without an icon of its own shows it.
    static const QImage image = [] {
        InitIconResources();
        return QImage(QStringLiteral(":/ICON_2.png"));
    }();
    return QIcon(QPixmap::fromImage(image));
}
