// libFuzzer harness for reading a stored learned history (built only with clang; see
// tests/CMakeLists.txt). Any input is read within the limits; what is kept stays within them,
// comes back the same when written and read again, and can be asked for a suggestion.
#include "core/LearnedModel.h"
#include "support/FuzzPromise.h"

#include <cstdint>

using Tessavo::Fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = Tessavo::Fuzz::inputBytes(data, size);
    const Tessavo::LearnedModelRead read = Tessavo::LearnedModel::fromBytes(bytes);
    if (!read.ok) {
        require(read.examples.isEmpty() && !read.error.isEmpty(), "a refusal keeps nothing");
        return 0;
    }
    require(read.examples.size() <= Tessavo::maxLearnedExamples, "bounded examples");
    Tessavo::LearnedModel model;
    for (const Tessavo::LearnedExample& e : read.examples) {
        require(e.terms.size() <= Tessavo::maxTermsPerDocument, "bounded terms");
        model.add(e);
    }
    const QByteArray written = model.toBytes();
    const Tessavo::LearnedModelRead again = Tessavo::LearnedModel::fromBytes(written);
    require(again.ok && again.examples == model.examples(), "round trip");

    QList<Tessavo::TermCount> query;
    if (!read.examples.isEmpty())
        query = read.examples.first().terms;
    query.append({QStringLiteral("zzz unseen"), 3});
    const Tessavo::LearnedSuggestion s = model.suggest(query);
    require(s.isEmpty() || (s.score >= 0 && s.score <= 1.0001 && s.support >= 1), "a sane score");
    return 0;
}
