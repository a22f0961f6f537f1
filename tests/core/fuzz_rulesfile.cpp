// libFuzzer harness for the rules-file reader (built only with clang; see tests/CMakeLists.txt).
// Any input is read within the limits; what is kept must be valid, within the limits, and come
// back when written and read again.
#include "core/RulesFile.h"
#include "support/FuzzPromise.h"

#include <cstdint>

using Tessavo::Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (qint64(size) > Tessavo::maxRulesFileBytes)
        return 0; // the file reader refuses these before parsing
    const QByteArray bytes = Tessavo::Fuzz::inputBytes(data, size);
    const Tessavo::RulesReading reading = Tessavo::readRulesWithinLimits(bytes);
    require(reading.rules.size() <= Tessavo::maxRuleCount, "at most 10,000 rules");
    require(reading.refusedTooLong >= 0 && reading.refusedTooMany >= 0, "counts");
    for (const Tessavo::Rule& rule : reading.rules) {
        require(Tessavo::isValid(rule), "only valid rules");
        require(!rule.id.isEmpty(), "every rule has an id");
        for (const QString* text :
             {&rule.id, &rule.name, &rule.category, &rule.fileContains, &rule.textContains})
            require(text->size() <= Tessavo::maxRuleTextChars, "texts within the limit");
    }
    // Sizes are written through a double, so a 64-bit size may change once; everything else
    // comes back as it was, and a second round changes nothing at all.
    const QList<Tessavo::Rule> again =
        Tessavo::readRulesDocument(Tessavo::rulesDocument(reading.rules));
    require(again.size() == reading.rules.size(), "written and read again, every rule is kept");
    for (qsizetype i = 0; i < again.size(); ++i) {
        Tessavo::Rule expected = reading.rules.at(i);
        expected.minBytes = again.at(i).minBytes;
        expected.maxBytes = again.at(i).maxBytes;
        require(again.at(i) == expected, "written and read again, the rules are the same");
    }
    require(Tessavo::readRulesDocument(Tessavo::rulesDocument(again)) == again,
            "a second round changes nothing");
    return 0;
}
