#include "dbrecover/contact_assembly.h"

#include <unordered_map>
#include <unordered_set>

namespace qb::dbrecover {

FieldKind FieldKindOfName(std::string_view mimetypeName) {
    static const std::unordered_map<std::string_view, FieldKind> kKinds = {
        {"vnd.android.cursor.item/email_v2", kKindEmail},
        {"vnd.android.cursor.item/im", kKindIm},
        {"vnd.android.cursor.item/nickname", kKindNickname},
        {"vnd.android.cursor.item/organization", kKindOrganization},
        {"vnd.android.cursor.item/phone_v2", kKindPhone},
        {"vnd.android.cursor.item/sip_address", kKindSipAddress},
        {"vnd.android.cursor.item/name", kKindName},
        {"vnd.android.cursor.item/postal-address_v2", kKindPostalAddress},
        {"vnd.android.cursor.item/group_membership", kKindGroupMembership},
        {"vnd.android.cursor.item/website", kKindWebsite},
        {"vnd.android.cursor.item/note", kKindNote},
        {"vnd.android.cursor.item/contact_event", kKindContactEvent},
        {"vnd.android.cursor.item/identity", kKindIdentity},
        {"vnd.android.cursor.item/photo", kKindPhoto},
        {"vnd.android.cursor.item/relation", kKindRelation},
    };
    const auto it = kKinds.find(mimetypeName);
    return it == kKinds.end() ? kKindUnknown : it->second;
}

void MimetypeNames::Replace(const std::vector<LiveMimetype>& mimetypes) {
    if (mimetypes.empty()) return;
    names_.clear();
    for (const LiveMimetype& m : mimetypes) names_[m.id] = m.name;
}

const std::string& MimetypeNames::NameOf(std::uint32_t id) const {
    static const std::string kNone;
    const auto it = names_.find(id);
    return it == names_.end() ? kNone : it->second;
}

FieldKind KindOf(std::uint32_t mimetypeId, const MimetypeNames& names) {
    return FieldKindOfName(names.NameOf(mimetypeId));
}

void GroupTitles::Replace(const std::vector<LiveGroup>& groups) {
    if (groups.empty()) return;
    titles_.clear();
    for (const LiveGroup& g : groups) titles_[std::to_string(g.id)] = g.title;
}

std::string_view GroupTitles::Readable(FieldKind kind, std::string_view data1) const {
    if (kind != kKindGroupMembership) return data1;
    const auto it = titles_.find(data1);
    // A group without a title (one the phone names from its own resources)
    // keeps its number.
    return it == titles_.end() || it->second.empty() ? data1 : std::string_view(it->second);
}

std::string& FieldOf(ContactItem& c, FieldKind kind) {
    switch (kind) {
    case kKindEmail: return c.email;
    case kKindIm: return c.im;
    case kKindNickname: return c.nickname;
    case kKindOrganization: return c.organization;
    case kKindPhone: return c.phone;
    case kKindSipAddress: return c.sipAddress;
    case kKindName: return c.name;
    case kKindPostalAddress: return c.postalAddress;
    case kKindWebsite: return c.website;
    case kKindNote: return c.note;
    default: return c.others;
    }
}

void AppendValue(std::string& field, std::string_view value) {
    if (value.empty()) return;
    if (field.empty()) {
        field.assign(value);
        return;
    }
    std::string_view rest = field;
    for (;;) {
        const std::size_t bar = rest.find('|');
        if (rest.substr(0, bar) == value) return;
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    field += '|';
    field += value;
}

void FieldValues::Values::Add(std::string_view text) {
    for (;;) {
        const std::size_t bar = text.find('|');
        const std::string_view piece = text.substr(0, bar);
        if (pieces.emplace(piece).second && ordering) ordered.emplace(piece);
        if (bar == std::string_view::npos) break;
        text.remove_prefix(bar + 1);
    }
}

FieldValues::Values& FieldValues::Of(const std::string& field) {
    auto [it, created] = fields_.try_emplace(&field);
    Values& values = it->second;
    if (created || values.length != field.size()) {
        values = Values();
        values.Add(field);
        values.length = field.size();
    }
    return values;
}

void FieldValues::Append(std::string& field, std::string_view value) {
    if (value.empty()) return;
    Values& values = Of(field);
    if (field.empty()) {
        field.assign(value);
    } else {
        // A value that holds a "|" equals no piece of the field.
        if (values.pieces.find(value) != values.pieces.end()) return;
        field += '|';
        field += value;
    }
    values.Add(value);
    values.length = field.size();
}

bool FieldValues::HoldsValueBeginningWith(const std::string& field, std::string_view text) {
    Values& values = Of(field);
    if (!values.ordering) {
        values.ordering = true;
        values.ordered.insert(values.pieces.begin(), values.pieces.end());
    }
    // The values that begin with text follow it in order.
    const auto it = values.ordered.lower_bound(text);
    return it != values.ordered.end() && std::string_view(*it).substr(0, text.size()) == text;
}

void AddLiveDataRows(const LiveContactsReading& reading, std::uint8_t deletedFlag, MimetypeNames& names,
                     GroupTitles& titles, ContactMap& working) {
    names.Replace(reading.mimetypes);
    titles.Replace(reading.groups);
    std::unordered_set<std::int64_t> pending;
    for (const std::uint32_t id : reading.pendingDeletes) pending.insert(static_cast<std::int32_t>(id));
    FieldValues values;
    for (const LiveDataRow& row : reading.rows) {
        const std::int64_t id = static_cast<std::int32_t>(row.rawContactId);
        auto [it, created] = working.try_emplace(id);
        if (created) {
            it->second.deleted = deletedFlag || pending.count(id) ? 1 : 0;
            it->second.rawContactId = id;
        }
        const FieldKind kind = KindOf(row.mimetypeId, names);
        values.Append(FieldOf(it->second, kind), titles.Readable(kind, row.data1));
        if (kind == kKindPhone) values.Append(it->second.phoneNormalized, row.data4);
    }
}

void ContactCarver::AddLiveRows(const LiveContactsReading& reading) {
    for (const LiveDataRow& row : reading.rows) live_.emplace(row.rawContactId, row.mimetypeId, row.data1);
}

void ContactCarver::SeeLiveDataRow(const CarvedDataRow& row) {
    live_.emplace(row.rawContactId, static_cast<std::uint32_t>(row.mimetypeId), std::string(row.data1));
}

void ContactCarver::AddCarvedDataRow(const CarvedDataRow& row) {
    const auto mimetype = static_cast<std::uint32_t>(row.mimetypeId);
    if (row.from.source != RowSource::FreeSpace && live_.count(Key(row.rawContactId, mimetype, std::string(row.data1)))) {
        return;
    }
    if (row.cutShort) {
        const auto key = static_cast<std::int64_t>(row.rawContactId);
        if (key <= 0) return;
        if (const auto it = contacts_.find(key);
            it != contacts_.end() && values_.HoldsValueBeginningWith(FieldOf(it->second, KindOf(mimetype, names_)), row.data1)) {
            return;
        }
    }
    AddDeletedDataRow(row.mimetypeId, row.rawContactId, row.data1);
    if (row.cutShort) {
        if (const auto it = contacts_.find(static_cast<std::int64_t>(row.rawContactId)); it != contacts_.end()) {
            it->second.cutShort = 1;
        }
    }
}

void ContactCarver::AddDeletedDataRow(std::uint64_t mimetypeId, std::uint64_t rawContactId, std::string_view data1) {
    const auto key = static_cast<std::int64_t>(rawContactId);
    // Raw contact ids are positive; a carved id of 0 or one that turns
    // negative as a key would land among (and merge into) the live contacts.
    if (key <= 0) return;
    auto [it, created] = contacts_.try_emplace(key);
    if (created) {
        it->second.deleted = 1;
        it->second.rawContactId = key;
    }
    const FieldKind kind = KindOf(static_cast<std::uint32_t>(mimetypeId), names_);
    values_.Append(FieldOf(it->second, kind), titles_.Readable(kind, data1));
}

}  // namespace qb::dbrecover
