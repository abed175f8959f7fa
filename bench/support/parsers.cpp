// Bare parses of an answer by the JSON parsers a host author might pick for
// a client of his own. Each is built only when this machine has it (see
// bench/CMakeLists.txt); the library itself never links any of them.
#include <memory>

#include "support/bench.h"

#ifdef MVFILES_BENCH_SIMDJSON
#include <simdjson.h>
#endif
#ifdef MVFILES_BENCH_RAPIDJSON
#include <rapidjson/document.h>
#endif
#ifdef MVFILES_BENCH_NLOHMANN
#include <nlohmann/json.hpp>
#endif

namespace bench {

std::vector<std::string> other_parser_names() { return {"simdjson", "RapidJSON", "nlohmann::json"}; }

std::string other_parsers_note() {
#ifdef MVFILES_BENCH_SIMDJSON
    return "simdjson: DOM parser reused, input padded beforehand, " +
           simdjson::get_active_implementation()->name() + " kernel";
#else
    return "simdjson, RapidJSON, nlohmann::json: columns appear once `scripts/setup.sh --bench` installed them";
#endif
}

std::vector<Runner> other_parsers(const std::string &bytes) {
    std::vector<Runner> out;
    (void)bytes;
#ifdef MVFILES_BENCH_SIMDJSON
    {
        // The way simdjson is meant to be used: one parser kept across
        // documents, input with its padding.
        auto parser = std::make_shared<simdjson::dom::parser>();
        auto padded = std::make_shared<simdjson::padded_string>(bytes);
        out.push_back({"simdjson", [parser, padded] {
                           simdjson::dom::element root;
                           if (parser->parse(*padded).get(root) != simdjson::SUCCESS)
                               fail("simdjson could not parse the answer");
                       }});
    }
#endif
#ifdef MVFILES_BENCH_RAPIDJSON
    out.push_back({"RapidJSON", [&bytes] {
                       rapidjson::Document d;
                       d.Parse(bytes.data(), bytes.size());
                       if (d.HasParseError()) fail("RapidJSON could not parse the answer");
                   }});
#endif
#ifdef MVFILES_BENCH_NLOHMANN
    out.push_back({"nlohmann::json", [&bytes] {
                       nlohmann::json j = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
                       if (j.is_discarded()) fail("nlohmann::json could not parse the answer");
                   }});
#endif
    return out;
}

}  // namespace bench
