#include "platform/Fonts.h"

#include <QStringList>

QFont WindowFont(int pixelHeight)
{
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(pixelHeight);
    return font;
}
