#include "OmbrixState/BrandNumber.h"

#include <QLocale>

QString brandCount(std::int64_t count) {
    static const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    return turkish.toString(qlonglong(count));
}
