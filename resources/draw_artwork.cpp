// Build tool: draws the program's artwork.
//   draw_artwork ICON_PNG LOGO_JPEG
// The 48 x 48 window icon and the 123 x 46 logo: a mountain and the sun over a wave (the maker's
// name, 澜岳, is "wave" and "mountain") on a blue tile, which also reads as "a picture".
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor Deep(0x1b, 0x4f, 0xa8);
const QColor Bright(0x27, 0xa3, 0xd6);
const QColor Ink(0x1c, 0x3f, 0x7a);
const QColor Paper(0xf3, 0xf5, 0xf8);

// The emblem in a size x size square at the painter's origin.
void DrawEmblem(QPainter& p, qreal size) {
  const qreal u = size / 48.0;
  QLinearGradient tile(0, 0, size, size);
  tile.setColorAt(0, Bright);
  tile.setColorAt(1, Deep);
  QPainterPath square;
  square.addRoundedRect(QRectF(1 * u, 1 * u, 46 * u, 46 * u), 10 * u, 10 * u);
  p.fillPath(square, tile);
  p.save();
  p.setClipPath(square);

  // A soft light from the top left.
  QLinearGradient shine(0, 0, 0, size * 0.55);
  shine.setColorAt(0, QColor(255, 255, 255, 60));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(QRectF(0, 0, size, size * 0.55), shine);

  // The sun.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xd5, 0x5a));
  p.drawEllipse(QPointF(34 * u, 14 * u), 5 * u, 5 * u);

  // Two peaks.
  QPainterPath back;
  back.moveTo(14 * u, 36 * u);
  back.lineTo(29 * u, 17 * u);
  back.lineTo(44 * u, 36 * u);
  back.closeSubpath();
  p.setBrush(QColor(255, 255, 255, 150));
  p.drawPath(back);
  QPainterPath front;
  front.moveTo(2 * u, 38 * u);
  front.lineTo(18 * u, 12 * u);
  front.lineTo(34 * u, 38 * u);
  front.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(front);

  // The wave across the foot of the mountains.
  QPainterPath wave;
  wave.moveTo(0, 36 * u);
  wave.cubicTo(8 * u, 31 * u, 14 * u, 41 * u, 24 * u, 36 * u);
  wave.cubicTo(34 * u, 31 * u, 40 * u, 41 * u, 48 * u, 35 * u);
  wave.lineTo(48 * u, 48 * u);
  wave.lineTo(0, 48 * u);
  wave.closeSubpath();
  p.setBrush(QColor(0x12, 0x3f, 0x8c));
  p.drawPath(wave);
  p.setPen(QPen(QColor(255, 255, 255, 170), 1.6 * u, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  QPainterPath crest;
  crest.moveTo(3 * u, 38.5 * u);
  crest.cubicTo(10 * u, 34.5 * u, 15 * u, 42.5 * u, 24 * u, 38.5 * u);
  crest.cubicTo(33 * u, 34.5 * u, 39 * u, 42.5 * u, 46 * u, 37.5 * u);
  p.drawPath(crest);
  p.restore();
}

QImage Icon() {
  QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  DrawEmblem(p, 48);
  return image.convertToFormat(QImage::Format_ARGB32);
}

// The logo is shown stretched into a 104 x 56 box, so it is drawn in that box's coordinates and
// squeezed into 123 x 46: on screen it comes out undistorted.
QImage Logo() {
  QImage image(123, 46, QImage::Format_RGB32);
  image.fill(Paper);
  QPainter p(&image);
  p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  p.scale(123.0 / 104.0, 46.0 / 56.0);

  p.save();
  p.translate(3, 12);
  DrawEmblem(p, 32);
  p.restore();

  QFont name(QStringLiteral("Noto Sans CJK SC"));
  name.setPixelSize(11);
  name.setWeight(QFont::Bold);
  p.setFont(name);
  p.setPen(Ink);
  p.drawText(QRectF(39, 12, 65, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ZEPHLORA"));

  QFont maker(QStringLiteral("Noto Sans CJK SC"));
  maker.setPixelSize(11);
  maker.setWeight(QFont::Medium);
  maker.setLetterSpacing(QFont::AbsoluteSpacing, 1.8);
  p.setFont(maker);
  p.setPen(QColor(0x5a, 0x66, 0x78));
  p.drawText(QRectF(39, 29, 65, 15), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8("澜岳设计"));

  p.setPen(Qt::NoPen);
  p.setBrush(Bright);
  p.drawRoundedRect(QRectF(40, 45, 22, 2), 1, 1);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: draw_artwork ICON_PNG LOGO_JPEG\n");
    return 2;
  }
  QGuiApplication application(argc, argv);
  if (!Icon().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "draw_artwork: cannot write %s\n", argv[1]);
    return 1;
  }
  if (!Logo().save(QString::fromLocal8Bit(argv[2]), "JPEG", 95)) {
    std::fprintf(stderr, "draw_artwork: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
