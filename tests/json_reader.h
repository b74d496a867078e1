// Reads JSON documents back with python3's json module, a parser independent
// of the writer. A document is "schema_version" 1, a string "engine", then the
// objects known, estimated, operating, calculated of finite numbers, in that
// order, no member named twice.
#ifndef LRE_TEST_JSON_READER_H
#define LRE_TEST_JSON_READER_H

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "program_runner.h"

namespace lre_test {

struct json_object {
    std::string name;
    std::vector<std::string> members; // in document order
    std::vector<double> values;

    // Values are finite, so NaN marks an absent member.
    bool has(const std::string &member) const { return !std::isnan(value(member)); }
    double value(const std::string &member) const
    {
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (members[i] == member)
                return values[i];
        }
        return std::nan("");
    }
};

struct json_document {
    std::string error; // empty when the document was read
    std::string engine;
    std::vector<json_object> objects; // known, estimated, operating, calculated, when read
};

// Integers are read as floats so that a negative zero keeps its sign, and the
// shortest round-trip text (repr) carries every value back exactly.
constexpr const char *json_reader_script = R"(import json, math, sys
class Members(list): pass
def members(pairs):
    names = [n for n, _ in pairs]
    if len(set(names)) != len(names): raise ValueError('a member named twice')
    return Members(pairs)
def refuse(text): raise ValueError('not a JSON number: ' + text)
top = ['schema_version', 'engine', 'known', 'estimated', 'operating', 'calculated']
def describe(text):
    try: doc = json.loads(text, object_pairs_hook=members, parse_int=float, parse_constant=refuse)
    except ValueError as e: return ['error not JSON: %s' % e]
    if type(doc) is not Members or [n for n, _ in doc] != top: return ['error wrong top-level members']
    values = dict(doc)
    if values['schema_version'] != 1: return ['error schema_version is not 1']
    if type(values['engine']) is not str: return ['error engine is not a string']
    lines = ['engine ' + values['engine']]
    for name in top[2:]:
        if type(values[name]) is not Members: return ['error %s is not an object' % name]
        lines.append('object ' + name)
        for member, value in values[name]:
            if type(value) is not float or not math.isfinite(value):
                return ['error %s.%s is not a finite number' % (name, member)]
            lines.append('member %s %r' % (member, value))
    return lines
for text in sys.argv[1:]:
    print('document')
    for line in describe(text): print(line)
)";

// One interpreter run for all documents, each passed as one argument.
inline std::vector<json_document> read_json_documents(const std::string &python3, const std::vector<std::string> &texts)
{
    std::vector<std::string> words{"python3", "-c", json_reader_script};
    words.insert(words.end(), texts.begin(), texts.end());
    const program_output out = run_program(python3, words);

    std::vector<json_document> documents;
    std::istringstream lines(out.stdout_text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "document") {
            documents.emplace_back();
        } else if (documents.empty()) {
            break;
        } else if (word == "error") {
            documents.back().error = rest;
        } else if (word == "engine") {
            documents.back().engine = rest;
        } else if (word == "object") {
            documents.back().objects.push_back(json_object{rest, {}, {}});
        } else if (word == "member" && !documents.back().objects.empty()) {
            const std::size_t gap = rest.find(' ');
            json_object &object = documents.back().objects.back();
            object.members.push_back(rest.substr(0, gap));
            object.values.push_back(std::strtod(rest.c_str() + gap + 1, nullptr));
        }
    }
    if (out.status != 0 || documents.size() != texts.size()) {
        documents.assign(texts.size(), json_document{});
        for (json_document &d : documents) {
            d.error = "python3 failed (status " + std::to_string(out.status) + "): " + out.stderr_text;
        }
    }
    return documents;
}

} // namespace lre_test

#endif
