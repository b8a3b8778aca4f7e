#include "tools/sample_phone/ground_truth.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace qb::tools {
namespace {

constexpr const char* kStateNames[] = {"live", "addedAfterCheckpoint", "deletedBeforeCheckpoint",
                                       "deletedAfterCheckpoint", "transient"};

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

// One "key": value pair of an object.
void Put(Writer& w, const char* key, const std::string& value) {
    w.Key(key);
    w.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}
void Put(Writer& w, const char* key, const char* value) {
    w.Key(key);
    w.String(value);
}
void Put(Writer& w, const char* key, std::int64_t value) {
    w.Key(key);
    w.Int64(value);
}
void Put(Writer& w, const char* key, bool value) {
    w.Key(key);
    w.Bool(value);
}

// What data rows and sms rows share, at the end of their objects.
void PutStateAndIntact(Writer& w, RowState state, const Intact& intact) {
    Put(w, "state", RowStateName(state));
    Put(w, "intactInCurrent", intact.inCurrent);
    Put(w, "intactInBackup", intact.inBackup);
    Put(w, "inCurrentFile", intact.inCurrentFile);
    Put(w, "inLog", intact.inLog);
    Put(w, "inJournal", intact.inJournal);
    Put(w, "inBackupFile", intact.inBackupFile);
    Put(w, "tailInPull", intact.tailInPull);
}

bool ReadIntact(const rapidjson::Value& v, Intact& out) {
    if (!v.HasMember("intactInCurrent") || !v["intactInCurrent"].IsBool()) return false;
    if (!v.HasMember("intactInBackup") || !v["intactInBackup"].IsBool()) return false;
    out.inCurrent = v["intactInCurrent"].GetBool();
    out.inBackup = v["intactInBackup"].GetBool();
    // Absent from truth files written before these were kept.
    const auto flag = [&](const char* key, bool& to) {
        if (v.HasMember(key) && v[key].IsBool()) to = v[key].GetBool();
    };
    flag("inCurrentFile", out.inCurrentFile);
    flag("inLog", out.inLog);
    flag("inJournal", out.inJournal);
    flag("inBackupFile", out.inBackupFile);
    flag("tailInPull", out.tailInPull);
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
    for (int i = 0; i < 5; ++i) {
        if (name == kStateNames[i]) return static_cast<RowState>(i);
    }
    return std::nullopt;
}

std::string GroundTruthToJson(const GroundTruth& t) {
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    w.StartObject();
    w.Key("seed");
    w.Uint64(t.seed);
    Put(w, "secureDelete", t.secureDelete);
    Put(w, "contactsJournalMode", t.contactsJournalMode);
    Put(w, "messagesJournalMode", t.messagesJournalMode);
    w.Key("pageSize");
    w.Uint(t.pageSize);
    w.Key("dataRows");
    w.StartArray();
    for (const TruthDataRow& r : t.dataRows) {
        w.StartObject();
        Put(w, "id", r.id);
        Put(w, "rawContactId", r.rawContactId);
        Put(w, "mimetype", r.mimetype);
        Put(w, "field", r.field);
        w.Key("data1");
        if (r.data1) {
            w.String(r.data1->data(), static_cast<rapidjson::SizeType>(r.data1->size()));
        } else {
            w.Null();
        }
        if (r.shown) Put(w, "shown", *r.shown);
        PutStateAndIntact(w, r.state, r.intact);
        w.EndObject();
    }
    w.EndArray();
    w.Key("smsRows");
    w.StartArray();
    for (const TruthSmsRow& r : t.smsRows) {
        w.StartObject();
        Put(w, "id", r.id);
        Put(w, "threadId", r.threadId);
        Put(w, "address", r.address);
        Put(w, "body", r.body);
        Put(w, "date", r.date);
        Put(w, "type", std::int64_t {r.type});
        PutStateAndIntact(w, r.state, r.intact);
        w.EndObject();
    }
    w.EndArray();
    w.Key("pendingDeletes");
    w.StartArray();
    for (const std::int64_t id : t.pendingDeletes) w.Int64(id);
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
        if (std::string shown; ReadString(v, "shown", shown)) r.shown = std::move(shown);
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
    // Absent from truth files written before it was kept.
    if (d.HasMember("pendingDeletes")) {
        if (!d["pendingDeletes"].IsArray()) return std::nullopt;
        for (const auto& v : d["pendingDeletes"].GetArray()) {
            if (!v.IsInt64()) return std::nullopt;
            t.pendingDeletes.push_back(v.GetInt64());
        }
    }
    return t;
}

}  // namespace qb::tools
