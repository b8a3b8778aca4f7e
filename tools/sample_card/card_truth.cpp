#include "tools/sample_card/card_truth.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include "platform/file.h"

namespace qb::tools {
namespace {

constexpr const char* kFormat = "quillbrook-card-truth";
constexpr std::int64_t kVersion = 1;

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;
using Value = rapidjson::Value;

void Put(Writer& w, const char* key, const std::string& value) {
    w.Key(key);
    w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}
void Put(Writer& w, const char* key, std::uint64_t value) {
    w.Key(key);
    w.Uint64(value);
}
void Put(Writer& w, const char* key, bool value) {
    w.Key(key);
    w.Bool(value);
}

void PutMisses(Writer& w, const char* key, const std::vector<TruthMiss>& misses) {
    w.Key(key);
    w.StartArray();
    for (const TruthMiss& m : misses) {
        w.StartObject();
        Put(w, "offset", m.offset);
        Put(w, "group", m.group);
        Put(w, "kind", m.kind);
        w.EndObject();
    }
    w.EndArray();
}

// Readers of one member; each says what is wrong in *error.
class Reader {
public:
    explicit Reader(std::string* error) : error_(error) {}

    bool String(const Value& v, const char* key, std::string& out) {
        if (!v.HasMember(key) || !v[key].IsString()) return Fail(key);
        out.assign(v[key].GetString(), v[key].GetStringLength());
        return true;
    }
    bool Uint64(const Value& v, const char* key, std::uint64_t& out) {
        if (!v.HasMember(key) || !v[key].IsUint64()) return Fail(key);
        out = v[key].GetUint64();
        return true;
    }
    bool Uint32(const Value& v, const char* key, std::uint32_t& out) {
        if (!v.HasMember(key) || !v[key].IsUint()) return Fail(key);
        out = v[key].GetUint();
        return true;
    }
    bool Bool(const Value& v, const char* key, bool& out) {
        if (!v.HasMember(key) || !v[key].IsBool()) return Fail(key);
        out = v[key].GetBool();
        return true;
    }
    bool Misses(const Value& d, const char* key, std::vector<TruthMiss>& out) {
        if (!d.HasMember(key) || !d[key].IsArray()) return Fail(key);
        for (const Value& v : d[key].GetArray()) {
            TruthMiss m;
            if (!v.IsObject()) return Fail(key);
            if (!Uint64(v, "offset", m.offset) || !String(v, "group", m.group) || !String(v, "kind", m.kind))
                return false;
            out.push_back(std::move(m));
        }
        return true;
    }
    bool Fail(const std::string& what) {
        if (error_) *error_ = "missing or malformed \"" + what + "\"";
        return false;
    }

private:
    std::string* error_;
};

}  // namespace

std::string CarvedFileName(std::uint64_t offset, std::string_view suffix) {
    return std::to_string(offset / 512) + "." + std::string(suffix);
}

std::string TruthPathFor(const std::string& imagePath) { return imagePath + ".truth.json"; }

std::string CardTruthToJson(const CardTruth& t) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    Put(w, "format", std::string(kFormat));
    w.Key("version");
    w.Int64(kVersion);
    Put(w, "source", t.source);
    Put(w, "seed", t.seed);
    Put(w, "scale", std::uint64_t {t.scale});
    Put(w, "imageSize", t.imageSize);
    Put(w, "blockSize", std::uint64_t {t.blockSize});
    Put(w, "chunkSize", t.chunkSize);
    w.Key("files");
    w.StartArray();
    for (const TruthFile& f : t.files) {
        w.StartObject();
        Put(w, "offset", f.offset);
        Put(w, "size", f.size);
        Put(w, "group", f.group);
        Put(w, "name", f.name);
        Put(w, "kind", f.kind);
        Put(w, "sha256", f.sha256);
        Put(w, "crossesChunk", f.crossesChunk);
        w.EndObject();
    }
    w.EndArray();
    PutMisses(w, "decoys", t.decoys);
    PutMisses(w, "unaligned", t.unaligned);
    w.Key("unreadableSectors");
    w.StartArray();
    for (std::uint64_t sector : t.unreadableSectors) w.Uint64(sector);
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

std::optional<CardTruth> CardTruthFromJson(std::string_view json, std::string* error) {
    rapidjson::Document d;
    d.Parse(json.data(), json.size());
    if (d.HasParseError() || !d.IsObject()) {
        if (error) *error = "not a JSON object";
        return std::nullopt;
    }
    Reader r(error);
    std::string format;
    if (!r.String(d, "format", format)) return std::nullopt;
    if (format != kFormat) {
        r.Fail("format");
        return std::nullopt;
    }
    if (!d.HasMember("version") || !d["version"].IsInt64() || d["version"].GetInt64() != kVersion) {
        r.Fail("version");
        return std::nullopt;
    }
    CardTruth t;
    if (!r.String(d, "source", t.source) || !r.Uint64(d, "seed", t.seed) || !r.Uint32(d, "scale", t.scale) ||
        !r.Uint64(d, "imageSize", t.imageSize) || !r.Uint32(d, "blockSize", t.blockSize) ||
        !r.Uint64(d, "chunkSize", t.chunkSize))
        return std::nullopt;
    if (!d.HasMember("files") || !d["files"].IsArray()) {
        r.Fail("files");
        return std::nullopt;
    }
    for (const Value& v : d["files"].GetArray()) {
        TruthFile f;
        if (!v.IsObject()) {
            r.Fail("files");
            return std::nullopt;
        }
        if (!r.Uint64(v, "offset", f.offset) || !r.Uint64(v, "size", f.size) || !r.String(v, "group", f.group) ||
            !r.String(v, "name", f.name) || !r.String(v, "kind", f.kind) || !r.String(v, "sha256", f.sha256) ||
            !r.Bool(v, "crossesChunk", f.crossesChunk))
            return std::nullopt;
        t.files.push_back(std::move(f));
    }
    if (!r.Misses(d, "decoys", t.decoys) || !r.Misses(d, "unaligned", t.unaligned)) return std::nullopt;
    // Optional: cards of real files have none.
    if (d.HasMember("unreadableSectors")) {
        const Value& list = d["unreadableSectors"];
        if (!list.IsArray()) {
            r.Fail("unreadableSectors");
            return std::nullopt;
        }
        for (const Value& v : list.GetArray()) {
            if (!v.IsUint64()) {
                r.Fail("unreadableSectors");
                return std::nullopt;
            }
            t.unreadableSectors.push_back(v.GetUint64());
        }
    }
    return t;
}

bool WriteCardTruth(const std::string& path, const CardTruth& truth, std::string* error) {
    return platform::WriteWholeFile(path, CardTruthToJson(truth), error);
}

std::optional<CardTruth> ReadCardTruth(const std::string& path, std::string* error) {
    const std::optional<std::string> text = platform::ReadWholeFile(path, error);
    if (!text) return std::nullopt;
    std::string why;
    std::optional<CardTruth> truth = CardTruthFromJson(*text, &why);
    if (!truth && error) *error = path + ": " + why;
    return truth;
}

}  // namespace qb::tools
