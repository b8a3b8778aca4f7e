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

const std::string* FieldValues::FindValueBeginningWith(const std::string& field, std::string_view text) {
    Values& values = Of(field);
    if (!values.ordering) {
        values.ordering = true;
        values.ordered.insert(values.pieces.begin(), values.pieces.end());
    }
    // The values that begin with text follow it in order.
    const auto it = values.ordered.lower_bound(text);
    if (it == values.ordered.end() || std::string_view(*it).substr(0, text.size()) != text) return nullptr;
    return &*it;
}

const char* FieldLabel(FieldKind kind) {
    switch (kind) {
    case kKindEmail: return "Email";
    case kKindIm: return "IM";
    case kKindNickname: return "Nickname";
    case kKindOrganization: return "Organization";
    case kKindPhone: return "Phone";
    case kKindSipAddress: return "SIP address";
    case kKindName: return "Name";
    case kKindPostalAddress: return "Address";
    case kKindGroupMembership: return "Group";
    case kKindWebsite: return "Website";
    case kKindNote: return "Note";
    case kKindContactEvent: return "Event";
    case kKindIdentity: return "Identity";
    case kKindPhoto: return "Photo";
    case kKindRelation: return "Relation";
    case kKindUnknown: break;
    }
    return "Other";
}

namespace {

std::string EntryKey(FieldKind kind, std::string_view value) {
    std::string key(1, static_cast<char>(kind));
    key.append(value);
    return key;
}

}  // namespace

ValueIndex::Entries& ValueIndex::Of(ContactItem& contact) {
    auto [it, created] = contacts_.try_emplace(&contact);
    Entries& entries = it->second;
    if (created || entries.size != contact.values.size()) {
        entries = Entries();
        for (std::size_t i = 0; i < contact.values.size(); ++i) {
            entries.at.emplace(EntryKey(contact.values[i].kind, contact.values[i].value), i);
        }
        entries.size = contact.values.size();
    }
    return entries;
}

ValueOrigin* ValueIndex::Find(ContactItem& contact, FieldKind kind, std::string_view value) {
    Entries& entries = Of(contact);
    const auto it = entries.at.find(EntryKey(kind, value));
    return it == entries.at.end() ? nullptr : &contact.values[it->second];
}

ValueOrigin& ValueIndex::Note(ContactItem& contact, FieldKind kind, std::string_view value, const RecordOrigin& origin,
                              bool earlier) {
    Entries& entries = Of(contact);
    auto [it, created] = entries.at.try_emplace(EntryKey(kind, value), contact.values.size());
    if (created) {
        ValueOrigin entry;
        entry.kind = kind;
        entry.value.assign(value);
        entry.earlier = earlier;
        contact.values.push_back(std::move(entry));
        entries.size = contact.values.size();
    }
    ValueOrigin& entry = contact.values[it->second];
    AddOrigin(entry.foundIn, origin);
    return entry;
}

void AddLiveDataRows(const LiveContactsReading& reading, std::uint8_t deletedFlag, MimetypeNames& names,
                     GroupTitles& titles, ContactMap& working) {
    names.Replace(reading.mimetypes);
    titles.Replace(reading.groups);
    std::unordered_set<std::int64_t> pending;
    for (const std::uint32_t id : reading.pendingDeletes) pending.insert(static_cast<std::int32_t>(id));
    FieldValues values;
    ValueIndex origins;
    const CopyKind copy = deletedFlag ? CopyKind::Backup : CopyKind::Current;
    for (const LiveDataRow& row : reading.rows) {
        const std::int64_t id = static_cast<std::int32_t>(row.rawContactId);
        auto [it, created] = working.try_emplace(id);
        if (created) {
            it->second.deleted = deletedFlag || pending.count(id) ? 1 : 0;
            it->second.rawContactId = id;
        }
        const FieldKind kind = KindOf(row.mimetypeId, names);
        const std::string_view shown = titles.Readable(kind, row.data1);
        values.Append(FieldOf(it->second, kind), shown);
        if (kind == kKindPhone) values.Append(it->second.phoneNormalized, row.data4);
        if (!shown.empty()) origins.Note(it->second, kind, shown, RecordOrigin::Live(copy), false);
    }
}

void ContactCarver::AddLiveRows(const LiveContactsReading& reading) {
    for (const LiveDataRow& row : reading.rows) live_.emplace(row.rawContactId, row.mimetypeId, row.data1);
}

void ContactCarver::SeeLiveDataRow(const CarvedDataRow& row) {
    live_.emplace(row.rawContactId, static_cast<std::uint32_t>(row.mimetypeId), std::string(row.data1));
}

bool ContactCarver::JoinWholeValue(ContactItem& contact, FieldKind kind, std::string_view slice,
                                   const RecordOrigin& origin) {
    const std::string* whole = values_.FindValueBeginningWith(FieldOf(contact, kind), slice);
    if (!whole) return false;
    if (ValueOrigin* entry = origins_.Find(contact, kind, *whole)) AddOrigin(entry->foundIn, origin);
    return true;
}

bool ContactCarver::JoinLiveContact(const CarvedDataRow& row, FieldKind kind, std::string_view shown) {
    if (row.rawContactId == 0 || row.rawContactId > 0x7FFFFFFFu) return false;
    const auto it = contacts_.find(-static_cast<std::int64_t>(row.rawContactId));
    if (it == contacts_.end()) return false;
    ContactItem& contact = it->second;
    if (shown.empty()) return true;  // nothing to show
    const RecordOrigin origin = RecordOrigin::Carved(copy_, row.from);
    if (ValueOrigin* same = origins_.Find(contact, kind, shown); same && !same->earlier) {
        AddOrigin(same->foundIn, origin);
        return true;
    }
    if (row.cutShort && JoinWholeValue(contact, kind, shown, origin)) return true;
    ValueOrigin& earlier = origins_.Note(contact, kind, shown, origin, true);
    earlier.cutShort = earlier.cutShort || row.cutShort;
    return true;
}

ContactItem* ContactCarver::AddToDeletedContact(std::uint64_t rawContactId, FieldKind kind, std::string_view shown) {
    const auto key = static_cast<std::int64_t>(rawContactId);
    // Raw contact ids are positive; a carved id of 0 or one that turns
    // negative as a key would land among (and merge into) the live contacts.
    if (key <= 0) return nullptr;
    auto [it, created] = contacts_.try_emplace(key);
    if (created) {
        it->second.deleted = 1;
        it->second.rawContactId = key;
    }
    values_.Append(FieldOf(it->second, kind), shown);
    return &it->second;
}

void ContactCarver::AddCarvedDataRow(const CarvedDataRow& row) {
    const auto mimetype = static_cast<std::uint32_t>(row.mimetypeId);
    const FieldKind kind = KindOf(mimetype, names_);
    const std::string_view shown = titles_.Readable(kind, row.data1);
    if (JoinLiveContact(row, kind, shown)) return;
    if (row.from.source != RowSource::FreeSpace && live_.count(Key(row.rawContactId, mimetype, std::string(row.data1)))) {
        return;
    }
    const auto key = static_cast<std::int64_t>(row.rawContactId);
    if (key <= 0) return;
    if (row.cutShort) {
        const auto it = contacts_.find(key);
        if (it != contacts_.end() && JoinWholeValue(it->second, kind, shown, RecordOrigin::Carved(copy_, row.from))) return;
    }
    ContactItem* contact = AddToDeletedContact(row.rawContactId, kind, shown);
    if (!shown.empty()) origins_.Note(*contact, kind, shown, RecordOrigin::Carved(copy_, row.from), false);
    if (row.cutShort) contact->cutShort = 1;
}

void ContactCarver::AddDeletedDataRow(std::uint64_t mimetypeId, std::uint64_t rawContactId, std::string_view data1) {
    const FieldKind kind = KindOf(static_cast<std::uint32_t>(mimetypeId), names_);
    AddToDeletedContact(rawContactId, kind, titles_.Readable(kind, data1));
}

}  // namespace qb::dbrecover
