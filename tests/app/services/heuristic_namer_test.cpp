#include "app/services/heuristic_namer.h"

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    TEST(HeuristicNamer, ProposesTitleTypeAndDate)
    {
        struct Case {
            std::string_view text;
            std::int64_t maxWords;
            std::string_view title;
            std::string_view type;
            std::string_view date;
        };
        const Case cases[] = {
            { "The THE the Report report summary", 6, "Report summary", "Document", "" },
            { "Invoice 15 GB of storage", 6, "Invoice storage", "Invoice", "" },
            { "ACME Corp Invoice No 4471 Date: 2024-03-15 Total 120.00 EUR", 4,
                "ACME Corp Invoice 4471", "Invoice", "2024-03-15" },
            { "Factura de la tienda para el cliente, 15 de marzo de 2024", 6,
                "Factura tienda cliente marzo 2024", "Invoice", "2024-03-15" },
            { "RECIBO de pago", 6, "RECIBO pago", "Receipt", "" },
            // Receipt keywords are tested before contract keywords.
            { "contract and recibo", 6, "contract recibo", "Receipt", "" },
            { "Contrato de arrendamiento", 6, "Contrato arrendamiento", "Contract", "" },
            { "Screenshot of settings window", 6, "Screenshot settings window", "Document", "" },
            { "Meeting notes today, next Monday", 6, "Meeting notes today next Monday", "Document",
                "" },
            // "cafe\u0301" is "café" written decomposed: the same word; "cafe" is not.
            { "Año nuevo: café, CAFÉ, cafe\u0301, cafe y niño", 6, "Año nuevo café cafe niño",
                "Document", "" },
            { "naïve/straße::Zürich", 6, "naïve straße Zürich", "Document", "" },
            { "one two three four five six seven eight nine ten eleven twelve thirteen", 40,
                "one two three four five six seven eight nine ten eleven twelve", "Document", "" },
            { "Quarterly figures", 0, "Quarterly", "Document", "" },
            { "   ", 6, "", "Document", "" },
            { "", 6, "", "Photo", "" },
        };
        for (const auto& testCase : cases) {
            auto answer = basicAIAnswer(testCase.text, {}, testCase.maxWords);
            EXPECT_EQ(answer["ai.title"], testCase.title) << testCase.text;
            EXPECT_EQ(answer["ai.type"], testCase.type) << testCase.text;
            EXPECT_EQ(answer["ai.date"], testCase.date) << testCase.text;
            EXPECT_EQ(answer["ai.party"], "");
            EXPECT_EQ(answer["ai.engine"], "Basic AI");
            EXPECT_EQ(answer.size(), 5u);
        }
    }

    TEST(HeuristicNamer, FallsBackToImageLabels)
    {
        auto answer = basicAIAnswer("", { "beach", "sky", "ocean", "sand" }, 3);
        EXPECT_EQ(answer["ai.title"], "beach sky ocean");
        EXPECT_EQ(answer["ai.type"], "Photo");
        EXPECT_EQ(answer["ai.date"], "");

        // Labels are only used when no word of the text survives.
        answer = basicAIAnswer("Sunset walk", { "beach" }, 3);
        EXPECT_EQ(answer["ai.title"], "Sunset walk");
        EXPECT_EQ(basicAIAnswer("15 GB", { "screen" }, 3)["ai.title"], "screen");
    }

} // namespace
} // namespace sorvik
