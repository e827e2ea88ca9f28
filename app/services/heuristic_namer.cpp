#include "app/services/heuristic_namer.h"

#include "app/services/date_detector.h"
#include "app/services/title_cleaner.h"
#include "engine/model/text.h"

#include <set>
#include <string>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace sorvik {

namespace {

    constexpr std::string_view stopWordText
        = "the a an and or of to for in on with from this that is are el la los las un una y o "
          "de del para por en con que es se al como su sus";

    const std::set<std::string, std::less<>>& stopWords()
    {
        static const auto words = [] {
            std::set<std::string, std::less<>> result;
            std::string_view rest = stopWordText;
            while (!rest.empty()) {
                auto space = rest.find(' ');
                result.emplace(rest.substr(0, space));
                rest = space == std::string_view::npos ? std::string_view {}
                                                       : rest.substr(space + 1);
            }
            return result;
        }();
        return words;
    }

    struct TypeKeywords {
        std::string_view english;
        std::string_view spanish;
        std::string_view type;
    };

    constexpr TypeKeywords typeKeywords[] = {
        { "invoice", "factura", "Invoice" },
        { "receipt", "recibo", "Receipt" },
        { "contract", "contrato", "Contract" },
    };

    bool isAlphanumeric(UChar32 scalar)
    {
        return (U_GET_GC_MASK(scalar) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
    }

    /// The pieces of the text between characters that are not letters, marks or digits.
    std::vector<std::string_view> alphanumericWords(std::string_view text)
    {
        std::vector<std::string_view> result;
        std::size_t wordStart = 0;
        int32_t offset = 0;
        auto length = static_cast<int32_t>(text.size());
        while (offset < length) {
            int32_t scalarStart = offset;
            UChar32 scalar = 0;
            U8_NEXT(text.data(), offset, length, scalar);
            if (scalar >= 0 && isAlphanumeric(scalar))
                continue;
            auto start = static_cast<std::size_t>(scalarStart);
            if (start > wordStart)
                result.push_back(text.substr(wordStart, start - wordStart));
            wordStart = static_cast<std::size_t>(offset);
        }
        if (wordStart < text.size())
            result.push_back(text.substr(wordStart));
        return result;
    }

    std::string titleSource(std::string_view text, const std::vector<std::string>& labels)
    {
        const auto& stops = stopWords();
        std::set<std::string, std::less<>> seen;
        std::string joined;
        for (auto word : alphanumericWords(text)) {
            if (text::characterCount(word) < 3)
                continue;
            auto lower = text::lowercased(word);
            if (stops.contains(lower))
                continue;
            // Canonically equivalent spellings ("é" composed or not) are the same word.
            if (!seen.insert(text::nfc(lower)).second)
                continue;
            if (!joined.empty())
                joined += ' ';
            joined += word;
        }
        if (!joined.empty())
            return joined;
        for (const auto& label : labels) {
            if (!joined.empty())
                joined += ' ';
            joined += label;
        }
        return joined;
    }

    std::string documentType(std::string_view text)
    {
        if (text.empty())
            return "Photo";
        auto lower = text::lowercased(text);
        for (const auto& keywords : typeKeywords) {
            if (lower.find(keywords.english) != std::string::npos
                || lower.find(keywords.spanish) != std::string::npos)
                return std::string(keywords.type);
        }
        return "Document";
    }

    std::string documentDate(std::string_view text)
    {
        static const DateDetector detector(DateDetector::numericOrder());
        auto found = detector.firstDate(text);
        return found ? found->isoText() : std::string();
    }

} // namespace

MetadataDictionary basicAIAnswer(
    std::string_view text, const std::vector<std::string>& labels, std::int64_t maxWords)
{
    return {
        { "ai.title", limitTitleWords(titleSource(text, labels), maxWords) },
        { "ai.type", documentType(text) },
        { "ai.date", documentDate(text) },
        { "ai.party", "" },
        { "ai.engine", std::string(basicAIEngineName) },
    };
}

} // namespace sorvik
