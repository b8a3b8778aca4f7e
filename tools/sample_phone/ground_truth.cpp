#include "tools/sample_phone/ground_truth.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace qb::tools {
namespace {

constexpr const char* kStateNames[] = {"live", "addedAfterCheckpoint", "deletedBeforeCheckpoint",
                                       "deletedAfterCheckpoint"};

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

void Key(Writer& w, const char* k) { w.Key(k); }
void Str(Writer& w, const std::string& s) { w.String(s.data(), static_cast<rapidjson::SizeType>(s.size())); }

void WriteIntact(Writer& w, const Intact& intact) {
    Key(w, "intactInCurrent");
    w.Bool(intact.inCurrent);
    Key(w, "intactInBackup");
    w.Bool(intact.inBackup);
}

bool ReadIntact(const rapidjson::Value& v, Intact& out) {
    if (!v.HasMember("intactInCurrent") || !v["intactInCurrent"].IsBool()) return false;
    if (!v.HasMember("intactInBackup") || !v["intactInBackup"].IsBool()) return false;
    out.inCurrent = v["intactInCurrent"].GetBool();
    out.inBackup = v["intactInBackup"].GetBool();
    return true;
}

bool ReadString(const rapidjson::Value& v, const char* key, std::string& out) {
    if (!v.HasMember(key) || !v[key].IsString()) return false;
    out.assign(v[key].GetString(), v[key].GetStringLength());
    return true;
}

bool ReadInt(const rapidjson::Value& v, const char* key, std::int64_t& out) {
    if (!v.HasMember(key) || !v[key].IsInt64()) return false;
    out = v[key].GetInt64();
    return true;
}

bool ReadState(const rapidjson::Value& v, RowState& out) {
    std::string name;
    if (!ReadString(v, "state", name)) return false;
    const auto state = RowStateFromName(name);
    if (!state) return false;
    out = *state;
    return true;
}

}  // namespace

const char* RowStateName(RowState state) { return kStateNames[static_cast<int>(state)]; }

std::optional<RowState> RowStateFromName(const std::string& name) {
    for (int i = 0; i < 4; ++i) {
        if (name == kStateNames[i]) return static_cast<RowState>(i);
    }
    return std::nullopt;
}

std::string GroundTruthToJson(const GroundTruth& t) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    Key(w, "seed");
    w.Uint64(t.seed);
    Key(w, "secureDelete");
    w.Bool(t.secureDelete);
    Key(w, "contactsJournalMode");
    Str(w, t.contactsJournalMode);
    Key(w, "messagesJournalMode");
    Str(w, t.messagesJournalMode);
    Key(w, "pageSize");
    w.Uint(t.pageSize);
    Key(w, "dataRows");
    w.StartArray();
    for (const TruthDataRow& r : t.dataRows) {
        w.StartObject();
        Key(w, "id");
        w.Int64(r.id);
        Key(w, "rawContactId");
        w.Int64(r.rawContactId);
        Key(w, "mimetype");
        Str(w, r.mimetype);
        Key(w, "field");
        Str(w, r.field);
        Key(w, "data1");
        if (r.data1) {
            Str(w, *r.data1);
        } else {
            w.Null();
        }
        Key(w, "state");
        w.String(RowStateName(r.state));
        WriteIntact(w, r.intact);
        w.EndObject();
    }
    w.EndArray();
    Key(w, "smsRows");
    w.StartArray();
    for (const TruthSmsRow& r : t.smsRows) {
        w.StartObject();
        Key(w, "id");
        w.Int64(r.id);
        Key(w, "threadId");
        w.Int64(r.threadId);
        Key(w, "address");
        Str(w, r.address);
        Key(w, "body");
        Str(w, r.body);
        Key(w, "date");
        w.Int64(r.date);
        Key(w, "type");
        w.Int(r.type);
        Key(w, "state");
        w.String(RowStateName(r.state));
        WriteIntact(w, r.intact);
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

std::optional<GroundTruth> GroundTruthFromJson(const std::string& json) {
    rapidjson::Document d;
    d.Parse(json.data(), json.size());
    if (d.HasParseError() || !d.IsObject()) return std::nullopt;
    GroundTruth t;
    if (!d.HasMember("seed") || !d["seed"].IsUint64() || !d.HasMember("secureDelete") || !d["secureDelete"].IsBool() ||
        !d.HasMember("pageSize") || !d["pageSize"].IsUint()) {
        return std::nullopt;
    }
    t.seed = d["seed"].GetUint64();
    t.secureDelete = d["secureDelete"].GetBool();
    t.pageSize = d["pageSize"].GetUint();
    if (!ReadString(d, "contactsJournalMode", t.contactsJournalMode)) return std::nullopt;
    if (!ReadString(d, "messagesJournalMode", t.messagesJournalMode)) return std::nullopt;
    if (!d.HasMember("dataRows") || !d["dataRows"].IsArray()) return std::nullopt;
    if (!d.HasMember("smsRows") || !d["smsRows"].IsArray()) return std::nullopt;
    for (const auto& v : d["dataRows"].GetArray()) {
        TruthDataRow r;
        if (!v.IsObject() || !ReadInt(v, "id", r.id) || !ReadInt(v, "rawContactId", r.rawContactId) ||
            !ReadString(v, "mimetype", r.mimetype) || !ReadString(v, "field", r.field) || !ReadState(v, r.state) ||
            !ReadIntact(v, r.intact) || !v.HasMember("data1")) {
            return std::nullopt;
        }
        if (v["data1"].IsString()) r.data1 = std::string(v["data1"].GetString(), v["data1"].GetStringLength());
        t.dataRows.push_back(std::move(r));
    }
    for (const auto& v : d["smsRows"].GetArray()) {
        TruthSmsRow r;
        std::int64_t type = 0;
        if (!v.IsObject() || !ReadInt(v, "id", r.id) || !ReadInt(v, "threadId", r.threadId) ||
            !ReadString(v, "address", r.address) || !ReadString(v, "body", r.body) || !ReadInt(v, "date", r.date) ||
            !ReadInt(v, "type", type) || !ReadState(v, r.state) || !ReadIntact(v, r.intact)) {
            return std::nullopt;
        }
        r.type = static_cast<std::int32_t>(type);
        t.smsRows.push_back(std::move(r));
    }
    return t;
}

}  // namespace qb::tools
