#include "core/listing/random_generator.h"

#include <QDateTime>

namespace dirka {

TRandomGenerator TRandomGenerator::FromClock()
{
    const QTime now = QDateTime::currentDateTimeUtc().time();
    TRandomGenerator generator;
    generator.Seed(
        std::uint32_t(((now.hour() * 60 + now.minute()) * 60 + now.second()) * 1000 + now.msec()));
    return generator;
}

} // namespace dirka
