// A meeting's colour and brief as the card reads them: any text gives a colour within range,
// and the brief's runs put together are the text without its "**" markers.
#include "fuzz_world.h"
#include "ports/meeting_card.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qv::CardColour colour = qv::MeetingCard::color(text);
    for (double c : {colour.red, colour.green, colour.blue})
        if (!(c >= 0 && c <= 1)) qv::fuzz::broken();

    QString joined;
    for (const qv::RichSegment& run : qv::MeetingCard::rich(text)) {
        if (run.text.contains(QStringLiteral("**"))) qv::fuzz::broken();
        joined += run.text;
    }
    if (joined != QString(text).remove(QStringLiteral("**"))) qv::fuzz::broken();
    return 0;
}
