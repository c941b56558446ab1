// The report-descriptor parser: builds, per top-level collection (TLC), the
// capabilities the Windows HID parser reports (docs: hid-platform-notes.md §1).
//
// One pass over the items keeps the global state (with its Push/Pop stack) and
// the local state (usages, reset after every main item). Each Input, Output or
// Feature item is handed to the builder of the TLC it lies in, which lays its
// usages over the item's fields and stores the caps in descriptor order.
//
// Choices where Windows' behaviour is not verified (notes §1.4, §4):
// - a Usage without 32-bit page takes the Usage Page in force at the main item
//   (HID 1.11, 6.2.2.8; what the Linux kernel does "to match Windows");
// - a Data item without any usage gets one visible cap with usage 0; a Constant
//   item without any usage stores no cap (verified for constants only);
// - with more usages than fields the first ones are used, the rest are hidden
//   (17CC_1130 counts one hidden cap for 27 usages over 26 fields);
// - aliases of a Delimiter set cover the same fields and share data indices; a
//   Collection takes the first usage declared before it;
// - reserved item tags, Report ID 0, Pop without Push, an unpaired Usage
//   Minimum/Maximum and a range with Minimum > Maximum are rejected (BadItem).
#include "HidCaps.h"

#include <algorithm>
#include <array>
#include <optional>

namespace {

// ---------------------------------------------------------------------------
// Item encoding (HID 1.11, 6.2.2)

enum ItemType : uint8_t { ItemMain = 0, ItemGlobal = 1, ItemLocal = 2, ItemReserved = 3 };

enum MainTag : uint8_t {
    MainInput = 0x8,
    MainOutput = 0x9,
    MainCollection = 0xA,
    MainFeature = 0xB,
    MainEndCollection = 0xC,
};

enum GlobalTag : uint8_t {
    GlobalUsagePage = 0x0,
    GlobalLogicalMin = 0x1,
    GlobalLogicalMax = 0x2,
    GlobalPhysicalMin = 0x3,
    GlobalPhysicalMax = 0x4,
    GlobalUnitExponent = 0x5,
    GlobalUnit = 0x6,
    GlobalReportSize = 0x7,
    GlobalReportId = 0x8,
    GlobalReportCount = 0x9,
    GlobalPush = 0xA,
    GlobalPop = 0xB,
};

enum LocalTag : uint8_t {
    LocalUsage = 0x0,
    LocalUsageMin = 0x1,
    LocalUsageMax = 0x2,
    LocalDesignatorIndex = 0x3,
    LocalDesignatorMin = 0x4,
    LocalDesignatorMax = 0x5,
    LocalStringIndex = 0x7,
    LocalStringMin = 0x8,
    LocalStringMax = 0x9,
    LocalDelimiter = 0xA,
};

// Main item data bits.
constexpr uint32_t kConstant = 0x01;
constexpr uint32_t kVariable = 0x02;
constexpr uint32_t kRelative = 0x04;
constexpr uint32_t kNullState = 0x40;

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr uint32_t kMaxU16 = 0xFFFF;
constexpr size_t kMaxPushDepth = 256;

struct Item
{
    size_t Offset = 0;
    uint8_t Type = 0;
    uint8_t Tag = 0;
    uint8_t Size = 0;     // data bytes: 0, 1, 2 or 4
    uint32_t Data = 0;    // zero-extended
    bool IsLong = false;  // long item: skipped

    int32_t SignedData() const
    {
        switch (Size) {
        case 1: return static_cast<int8_t>(Data);
        case 2: return static_cast<int16_t>(Data);
        case 4: return static_cast<int32_t>(Data);
        default: return 0;
        }
    }
};

// Reads the item at `offset`; never looks past `length`.
HidParseResult ReadItem(const uint8_t* d, size_t length, size_t offset, Item& item, size_t& next)
{
    item = Item{};
    item.Offset = offset;
    const uint8_t prefix = d[offset];
    const size_t remaining = length - offset - 1;   // bytes after the prefix
    if (prefix == kLongItemPrefix) {
        // bDataSize, bLongItemTag, then bDataSize bytes of data.
        if (remaining < 2 || remaining - 2 < d[offset + 1])
            return HidParseResult::Truncated;
        item.IsLong = true;
        next = offset + 3 + d[offset + 1];
        return HidParseResult::Ok;
    }
    static constexpr uint8_t kSizes[4] = {0, 1, 2, 4};
    item.Size = kSizes[prefix & 0x03];
    item.Type = static_cast<uint8_t>((prefix >> 2) & 0x03);
    item.Tag = static_cast<uint8_t>(prefix >> 4);
    if (remaining < item.Size)
        return HidParseResult::Truncated;
    for (uint8_t i = 0; i < item.Size; ++i)
        item.Data |= static_cast<uint32_t>(d[offset + 1 + i]) << (8 * i);
    next = offset + 1 + item.Size;
    return HidParseResult::Ok;
}

// ---------------------------------------------------------------------------
// Parser state

struct GlobalState
{
    uint32_t UsagePage = 0;
    int32_t LogicalMin = 0, LogicalMax = 0;
    int32_t PhysicalMin = 0, PhysicalMax = 0;
    int32_t UnitExponent = 0;
    uint32_t Unit = 0;
    uint32_t ReportSize = 0;
    uint32_t ReportId = 0;
    uint32_t ReportCount = 0;
};

// A usage as written: 32-bit data carries its own page in the high 16 bits.
struct UsageRef
{
    uint32_t Value = 0;
    bool Extended = false;
};

// One Usage, or one Usage Minimum..Maximum pair. Usages of one Delimiter set
// share a slot (they are aliases of the same control).
struct UsageEntry
{
    UsageRef Min, Max;
    bool IsRange = false;
    size_t Slot = 0;
};

struct IndexRange
{
    uint32_t Min = 0, Max = 0;
    bool IsRange = false;
    bool Present = false;
};

struct LocalState
{
    std::vector<UsageEntry> Usages;
    size_t SlotCount = 0;
    bool HaveMin = false, HaveMax = false;   // a Usage Minimum/Maximum waiting for its partner
    UsageRef PendingMin, PendingMax;
    bool InDelimiter = false;
    bool DelimiterSlotOpen = false;          // the current set already has its slot
    IndexRange String, Designator;
    bool HaveStringMin = false, HaveStringMax = false;
    bool HaveDesignatorMin = false, HaveDesignatorMax = false;

    void AddEntry(UsageEntry entry)
    {
        if (!InDelimiter || !DelimiterSlotOpen)
            ++SlotCount;
        DelimiterSlotOpen = InDelimiter;
        entry.Slot = SlotCount - 1;
        Usages.push_back(entry);
    }
};

// A usage resolved at the main item: the page is the one in force there unless
// the usage was written with 32 bits (HID 1.11, 6.2.2.8).
struct ResolvedUsage
{
    uint16_t Page = 0;
    uint16_t Min = 0, Max = 0;
    bool IsRange = false;
    size_t Slot = 0;
    uint32_t IndexCount() const { return static_cast<uint32_t>(Max - Min) + 1; }
};

// The fields of a main item one usage covers.
struct FieldSpan
{
    uint32_t First = 0;
    uint32_t Count = 0;
};

// ---------------------------------------------------------------------------
// Per-TLC builder

class TlcBuilder
{
public:
    TlcBuilder(uint16_t usagePage, uint16_t usage, uint8_t collectionType)
    {
        HidLinkCollectionNode root;
        root.LinkUsage = usage;
        root.LinkUsagePage = usagePage;
        root.CollectionType = collectionType;
        m_data.LinkCollections.push_back(root);
        m_open.push_back(0);
    }

    bool IsClosed() const { return m_open.empty(); }

    HidParseResult OpenCollection(uint16_t usagePage, uint16_t usage, uint8_t collectionType)
    {
        if (m_data.LinkCollections.size() >= kMaxU16)
            return HidParseResult::TooLarge;
        const uint16_t index = static_cast<uint16_t>(m_data.LinkCollections.size());
        const uint16_t parentIndex = m_open.back();
        HidLinkCollectionNode node;
        node.LinkUsage = usage;
        node.LinkUsagePage = usagePage;
        node.CollectionType = collectionType;
        node.Parent = parentIndex;
        HidLinkCollectionNode& parent = m_data.LinkCollections[parentIndex];
        // FirstChild is the last declared child; NextSibling walks back.
        node.NextSibling = parent.FirstChild;
        parent.FirstChild = index;
        ++parent.NumberOfChildren;
        m_data.LinkCollections.push_back(node);
        m_open.push_back(index);
        return HidParseResult::Ok;
    }

    void CloseCollection() { m_open.pop_back(); }

    HidParseResult AddMainItem(HidReportType type, uint32_t flags, const GlobalState& g,
                               std::vector<ResolvedUsage> usages, const LocalState& local);

    HidPreparsedData Finish();

private:
    struct Planned
    {
        HidStoredCap Cap;
        size_t Slot = 0;
        uint32_t IndexCount = 1;
        bool Hidden = false;
    };

    // What every cap of one main item shares.
    struct ItemContext
    {
        uint32_t Flags;
        bool IsButton;
        const GlobalState& Globals;
        const LocalState& Locals;
        uint64_t StartBit;   // the item's first bit within its report
    };

    HidStoredCap MakeCap(const ItemContext& item, const ResolvedUsage& u,
                         const FieldSpan& span) const;
    HidParseResult AssignDataIndices(HidReportType type, std::vector<Planned>& caps);
    HidParseResult AddHidden(HidReportType type);

    HidPreparsedData m_data;
    std::vector<uint16_t> m_open;   // link collection nodes currently open, innermost last
    std::array<std::array<uint64_t, 256>, 3> m_reportBits{};   // bits per type and report ID
    std::array<bool, 3> m_typeUsed{};
    std::array<uint32_t, 3> m_dataIndices{};
};

// A cap stored after LastCap: counted, never returned, no data index.
HidParseResult TlcBuilder::AddHidden(HidReportType type)
{
    if (m_data.StoredCaps[type].size() + m_data.HiddenCapCount[type] >= kMaxU16)
        return HidParseResult::TooLarge;
    ++m_data.HiddenCapCount[type];
    return HidParseResult::Ok;
}

// Data indices (§1.2): numbered along the stored order, one per usage of a range;
// aliases of one Delimiter set share theirs.
HidParseResult TlcBuilder::AssignDataIndices(HidReportType type, std::vector<Planned>& caps)
{
    uint32_t& next = m_dataIndices[type];
    const Planned* previous = nullptr;
    for (Planned& p : caps) {
        if (p.Hidden)
            continue;
        uint32_t first = next;
        if (previous && previous->Slot == p.Slot)
            first = previous->Cap.Value.Range.DataIndexMin;
        const uint32_t last = first + p.IndexCount - 1;
        if (last > kMaxU16 - 1)   // the count of indices must fit 16 bits too
            return HidParseResult::TooLarge;
        next = std::max(next, last + 1);
        HidValueCaps& v = p.Cap.Value;
        v.Range.DataIndexMin = static_cast<uint16_t>(first);
        v.Range.DataIndexMax = static_cast<uint16_t>(last);
        v.NotRange.DataIndex = static_cast<uint16_t>(first);
        previous = &p;
    }
    return HidParseResult::Ok;
}

// Which fields of an item each usage covers (§1.4). Array: every usage covers
// all fields. Variable: a usage takes one field, a range one per usage, the last
// usage (or Delimiter set) all remaining fields; usages beyond the fields get none.
std::vector<FieldSpan> LayOutFields(const std::vector<ResolvedUsage>& usages, uint32_t count,
                                    bool isVariable)
{
    std::vector<FieldSpan> spans(usages.size(), FieldSpan{0, count});
    if (!isVariable)
        return spans;
    uint32_t used = 0;
    for (size_t k = 0; k < usages.size();) {
        size_t slotEnd = k;   // aliases of one set cover the same fields
        while (slotEnd < usages.size() && usages[slotEnd].Slot == usages[k].Slot)
            ++slotEnd;
        const uint32_t remaining = count - used;
        const uint32_t fields =
            slotEnd == usages.size()
                ? remaining
                : std::min(remaining, usages[k].IsRange ? usages[k].IndexCount() : 1u);
        for (; k < slotEnd; ++k)
            spans[k] = FieldSpan{used, fields};
        used += fields;
    }
    return spans;
}

// The cap of one usage of a main item, with every field of §1.7 but the data
// indices and IsAlias.
HidStoredCap TlcBuilder::MakeCap(const ItemContext& item, const ResolvedUsage& u,
                                 const FieldSpan& span) const
{
    const GlobalState& g = item.Globals;
    const uint16_t link = m_open.back();
    const HidLinkCollectionNode& node = m_data.LinkCollections[link];
    const IndexRange strings = item.Locals.String.Present ? item.Locals.String : IndexRange{};
    const IndexRange designators =
        item.Locals.Designator.Present ? item.Locals.Designator : IndexRange{};
    const bool isVariable = (item.Flags & kVariable) != 0;

    HidStoredCap cap;
    const uint64_t bitOffset = item.StartBit + static_cast<uint64_t>(span.First) * g.ReportSize;
    cap.IsButtonCap = item.IsButton;
    cap.BitSize = static_cast<uint16_t>(g.ReportSize);
    cap.ReportCount = static_cast<uint16_t>(span.Count);
    cap.BitOffset = static_cast<uint32_t>(bitOffset);   // a report has at most 65534 bytes
    cap.BitPosition = static_cast<uint16_t>(std::min<uint64_t>(bitOffset, kMaxU16));
    cap.IsPadding = (item.Flags & kConstant) != 0;

    HidValueCaps& v = cap.Value;
    v.UsagePage = u.Page;
    v.ReportID = static_cast<uint8_t>(g.ReportId);
    v.BitField = static_cast<uint16_t>(item.Flags & kMaxU16);
    v.LinkCollection = link;
    v.LinkUsage = node.LinkUsage;
    v.LinkUsagePage = node.LinkUsagePage;
    v.IsRange = u.IsRange;
    v.IsAbsolute = (item.Flags & kRelative) == 0;
    v.Range.UsageMin = u.Min;
    v.Range.UsageMax = u.Max;
    v.NotRange.Usage = u.Min;
    v.IsStringRange = strings.IsRange;
    v.Range.StringMin = static_cast<uint16_t>(strings.Min);
    v.Range.StringMax = static_cast<uint16_t>(strings.Max);
    v.NotRange.StringIndex = v.Range.StringMin;
    v.IsDesignatorRange = designators.IsRange;
    v.Range.DesignatorMin = static_cast<uint16_t>(designators.Min);
    v.Range.DesignatorMax = static_cast<uint16_t>(designators.Max);
    v.NotRange.DesignatorIndex = v.Range.DesignatorMin;
    v.BitSize = cap.BitSize;
    v.ReportCount = (!item.IsButton && u.IsRange) ? uint16_t{1} : cap.ReportCount;
    v.UnitsExp = static_cast<uint32_t>(g.UnitExponent);
    v.Units = g.Unit;
    if (item.IsButton) {
        if (!isVariable) {   // Windows keeps logical limits only for array buttons
            v.LogicalMin = g.LogicalMin;
            v.LogicalMax = g.LogicalMax;
        }
    } else {
        v.HasNull = (item.Flags & kNullState) != 0;
        v.LogicalMin = g.LogicalMin;
        v.LogicalMax = g.LogicalMax;
        v.PhysicalMin = g.PhysicalMin;
        v.PhysicalMax = g.PhysicalMax;
    }
    return cap;
}

// One Input, Output or Feature item (§1.3, §1.4, §1.7).
HidParseResult TlcBuilder::AddMainItem(HidReportType type, uint32_t flags, const GlobalState& g,
                                       std::vector<ResolvedUsage> usages, const LocalState& local)
{
    if (g.ReportCount > kMaxU16 || g.ReportSize > kMaxU16)
        return HidParseResult::TooLarge;
    const uint32_t count = g.ReportCount;
    const uint32_t size = g.ReportSize;

    // The item's bits, padding and constants included (§1.5).
    m_typeUsed[type] = true;
    uint64_t& reportBits = m_reportBits[type][g.ReportId];
    const uint64_t start = reportBits;
    reportBits += static_cast<uint64_t>(count) * size;
    if ((reportBits + 7) / 8 + 1 > kMaxU16)
        return HidParseResult::TooLarge;

    const bool isConstant = (flags & kConstant) != 0;
    const bool isVariable = (flags & kVariable) != 0;
    const bool isButton = !isVariable || size == 1;

    if (usages.empty()) {
        if (isConstant)
            return HidParseResult::Ok;   // padding: no cap at all
        ResolvedUsage none;               // a Data item without usage: usage 0
        none.Page = static_cast<uint16_t>(g.UsagePage);
        usages.push_back(none);
    }

    // Lay the usages over the fields in declaration order, one cap per usage.
    const std::vector<FieldSpan> spans = LayOutFields(usages, count, isVariable);
    const ItemContext item{flags, isButton, g, local, start};
    std::vector<Planned> caps;
    caps.reserve(usages.size());
    for (size_t k = 0; k < usages.size(); ++k) {
        Planned p;
        p.Slot = usages[k].Slot;
        p.IndexCount = usages[k].IndexCount();
        p.Hidden = spans[k].Count == 0 ||
                   (isConstant && (!isVariable || (usages[k].Min == 0 && usages[k].Max == 0)));
        p.Cap = MakeCap(item, usages[k], spans[k]);
        caps.push_back(p);
    }

    // Within one item the caps are stored in reverse. Array items number their
    // data indices in declaration order, Variable items along the stored order.
    HidParseResult result = HidParseResult::Ok;
    if (!isVariable)
        result = AssignDataIndices(type, caps);
    std::reverse(caps.begin(), caps.end());
    if (result == HidParseResult::Ok && isVariable)
        result = AssignDataIndices(type, caps);
    if (result != HidParseResult::Ok)
        return result;

    std::vector<HidStoredCap>& stored = m_data.StoredCaps[type];
    for (size_t i = 0; i < caps.size(); ++i) {
        if (caps[i].Hidden) {
            result = AddHidden(type);
            if (result != HidParseResult::Ok)
                return result;
            continue;
        }
        // All but the last stored alias of a Delimiter set are aliases.
        caps[i].Cap.Value.IsAlias = i + 1 < caps.size() && caps[i + 1].Slot == caps[i].Slot;
        if (stored.size() + m_data.HiddenCapCount[type] >= kMaxU16)
            return HidParseResult::TooLarge;
        stored.push_back(caps[i].Cap);
    }
    return HidParseResult::Ok;
}

HidPreparsedData TlcBuilder::Finish()
{
    HidCaps& caps = m_data.Caps;
    const HidLinkCollectionNode& root = m_data.LinkCollections[0];
    caps.Usage = root.LinkUsage;
    caps.UsagePage = root.LinkUsagePage;
    caps.NumberLinkCollectionNodes = static_cast<uint16_t>(m_data.LinkCollections.size());

    uint16_t* byteLengths[3] = {&caps.InputReportByteLength, &caps.OutputReportByteLength,
                                &caps.FeatureReportByteLength};
    uint16_t* buttonCounts[3] = {&caps.NumberInputButtonCaps, &caps.NumberOutputButtonCaps,
                                 &caps.NumberFeatureButtonCaps};
    uint16_t* valueCounts[3] = {&caps.NumberInputValueCaps, &caps.NumberOutputValueCaps,
                                &caps.NumberFeatureValueCaps};
    uint16_t* indexCounts[3] = {&caps.NumberInputDataIndices, &caps.NumberOutputDataIndices,
                                &caps.NumberFeatureDataIndices};
    for (int t = 0; t < 3; ++t) {
        // Largest report of the type plus the report ID byte; 0 without items (§1.5).
        if (m_typeUsed[t]) {
            const uint64_t bits = *std::max_element(m_reportBits[t].begin(), m_reportBits[t].end());
            *byteLengths[t] = static_cast<uint16_t>((bits + 7) / 8 + 1);   // checked per item
        }
        for (const HidStoredCap& cap : m_data.StoredCaps[t])
            ++*(cap.IsButtonCap ? buttonCounts[t] : valueCounts[t]);
        *indexCounts[t] = static_cast<uint16_t>(m_dataIndices[t]);   // checked per cap
    }
    return std::move(m_data);
}

// ---------------------------------------------------------------------------
// The pass over the items

class DescriptorParser
{
public:
    DescriptorParser(const uint8_t* d, size_t length) : m_d(d), m_length(length) {}

    HidParseResult Run(std::vector<HidPreparsedData>& collections, size_t& errorOffset);

private:
    HidParseResult OnMain(const Item& item);
    HidParseResult OnGlobal(const Item& item);
    HidParseResult OnLocal(const Item& item);
    HidParseResult ResolveUsages(std::vector<ResolvedUsage>& out) const;

    const uint8_t* m_d;
    size_t m_length;
    GlobalState m_global;
    std::vector<GlobalState> m_globalStack;
    LocalState m_local;
    std::optional<TlcBuilder> m_tlc;   // the TLC being built, while depth > 0
    std::vector<HidPreparsedData> m_done;   // finished TLCs, in descriptor order
    std::vector<size_t> m_collectionOffsets;   // offsets of the open Collection items
};

HidParseResult DescriptorParser::Run(std::vector<HidPreparsedData>& collections,
                                     size_t& errorOffset)
{
    size_t offset = 0;
    while (offset < m_length) {
        Item item;
        size_t next = offset;
        HidParseResult result = ReadItem(m_d, m_length, offset, item, next);
        if (result == HidParseResult::Ok && !item.IsLong) {
            switch (item.Type) {
            case ItemMain: result = OnMain(item); break;
            case ItemGlobal: result = OnGlobal(item); break;
            case ItemLocal: result = OnLocal(item); break;
            default: result = HidParseResult::BadItem; break;
            }
        }
        if (result != HidParseResult::Ok) {
            errorOffset = offset;
            return result;
        }
        offset = next;
    }
    if (!m_collectionOffsets.empty()) {
        errorOffset = m_collectionOffsets.back();
        return HidParseResult::UnbalancedCollection;
    }
    if (m_done.empty()) {
        errorOffset = m_length;
        return HidParseResult::Empty;
    }
    collections = std::move(m_done);
    return HidParseResult::Ok;
}

HidParseResult DescriptorParser::ResolveUsages(std::vector<ResolvedUsage>& out) const
{
    out.clear();
    if (m_local.HaveMin || m_local.HaveMax || m_local.InDelimiter)
        return HidParseResult::BadItem;   // Usage Minimum without Maximum, or an open set
    const auto page = [this](const UsageRef& r) {
        return static_cast<uint16_t>(r.Extended ? r.Value >> 16 : m_global.UsagePage);
    };
    for (const UsageEntry& e : m_local.Usages) {
        ResolvedUsage u;
        u.Page = page(e.Min);
        u.Min = static_cast<uint16_t>(e.Min.Value);
        u.Max = e.IsRange ? static_cast<uint16_t>(e.Max.Value) : u.Min;
        u.IsRange = e.IsRange;
        u.Slot = e.Slot;
        if (e.IsRange && (page(e.Max) != u.Page || u.Min > u.Max))
            return HidParseResult::BadItem;
        out.push_back(u);
    }
    return HidParseResult::Ok;
}

HidParseResult DescriptorParser::OnMain(const Item& item)
{
    std::vector<ResolvedUsage> usages;
    HidParseResult result = ResolveUsages(usages);
    const LocalState local = std::move(m_local);
    m_local = LocalState{};   // locals end with every main item
    if (result != HidParseResult::Ok)
        return result;

    switch (item.Tag) {
    case MainCollection: {
        const uint16_t page = usages.empty() ? static_cast<uint16_t>(m_global.UsagePage)
                                             : usages.front().Page;
        const uint16_t usage = usages.empty() ? uint16_t{0} : usages.front().Min;
        const uint8_t type = static_cast<uint8_t>(item.Data);
        if (m_collectionOffsets.empty())
            m_tlc.emplace(page, usage, type);
        else if ((result = m_tlc->OpenCollection(page, usage, type)) != HidParseResult::Ok)
            return result;
        m_collectionOffsets.push_back(item.Offset);
        return HidParseResult::Ok;
    }
    case MainEndCollection:
        if (m_collectionOffsets.empty())
            return HidParseResult::UnbalancedCollection;
        m_collectionOffsets.pop_back();
        m_tlc->CloseCollection();
        if (m_tlc->IsClosed()) {
            m_done.push_back(m_tlc->Finish());
            m_tlc.reset();
        }
        return HidParseResult::Ok;
    case MainInput:
    case MainOutput:
    case MainFeature: {
        if (m_collectionOffsets.empty())
            return HidParseResult::MainItemOutsideCollection;
        const HidReportType type = item.Tag == MainInput    ? HidP_Input
                                   : item.Tag == MainOutput ? HidP_Output
                                                            : HidP_Feature;
        return m_tlc->AddMainItem(type, item.Data, m_global, std::move(usages), local);
    }
    default:
        return HidParseResult::BadItem;
    }
}

HidParseResult DescriptorParser::OnGlobal(const Item& item)
{
    GlobalState& g = m_global;
    switch (item.Tag) {
    case GlobalUsagePage: g.UsagePage = item.Data & kMaxU16; break;
    case GlobalLogicalMin: g.LogicalMin = item.SignedData(); break;
    case GlobalLogicalMax: g.LogicalMax = item.SignedData(); break;
    case GlobalPhysicalMin: g.PhysicalMin = item.SignedData(); break;
    case GlobalPhysicalMax: g.PhysicalMax = item.SignedData(); break;
    case GlobalUnitExponent: g.UnitExponent = item.SignedData(); break;
    case GlobalUnit: g.Unit = item.Data; break;
    case GlobalReportSize: g.ReportSize = item.Data; break;   // range checked where used
    case GlobalReportCount: g.ReportCount = item.Data; break;
    case GlobalReportId:
        if (item.Data == 0 || item.Data > 0xFF)
            return HidParseResult::BadItem;
        g.ReportId = item.Data;
        break;
    case GlobalPush:
        if (m_globalStack.size() >= kMaxPushDepth)
            return HidParseResult::TooLarge;
        m_globalStack.push_back(g);
        break;
    case GlobalPop:
        if (m_globalStack.empty())
            return HidParseResult::BadItem;
        g = m_globalStack.back();
        m_globalStack.pop_back();
        break;
    default:
        return HidParseResult::BadItem;
    }
    return HidParseResult::Ok;
}

HidParseResult DescriptorParser::OnLocal(const Item& item)
{
    LocalState& l = m_local;
    const UsageRef ref{item.Data, item.Size == 4};
    const auto setIndex = [&item](IndexRange& r, bool isMin, bool& haveMin, bool& haveMax) {
        (isMin ? haveMin : haveMax) = true;
        (isMin ? r.Min : r.Max) = item.Data;
        if (haveMin && haveMax) {
            r.IsRange = true;
            r.Present = true;
        }
    };
    switch (item.Tag) {
    case LocalUsage: {
        UsageEntry e;
        e.Min = e.Max = ref;
        l.AddEntry(e);
        break;
    }
    case LocalUsageMin:
    case LocalUsageMax:
        (item.Tag == LocalUsageMin ? l.PendingMin : l.PendingMax) = ref;
        (item.Tag == LocalUsageMin ? l.HaveMin : l.HaveMax) = true;
        if (l.HaveMin && l.HaveMax) {
            UsageEntry e;
            e.Min = l.PendingMin;
            e.Max = l.PendingMax;
            e.IsRange = true;
            l.AddEntry(e);
            l.HaveMin = l.HaveMax = false;
        }
        break;
    case LocalStringIndex:
        if (!l.String.Present)
            l.String = IndexRange{item.Data, item.Data, false, true};
        break;
    case LocalStringMin:
    case LocalStringMax:
        setIndex(l.String, item.Tag == LocalStringMin, l.HaveStringMin, l.HaveStringMax);
        break;
    case LocalDesignatorIndex:
        if (!l.Designator.Present)
            l.Designator = IndexRange{item.Data, item.Data, false, true};
        break;
    case LocalDesignatorMin:
    case LocalDesignatorMax:
        setIndex(l.Designator, item.Tag == LocalDesignatorMin, l.HaveDesignatorMin,
                 l.HaveDesignatorMax);
        break;
    case LocalDelimiter:
        if (item.Data == 1 && !l.InDelimiter) {
            l.InDelimiter = true;
            l.DelimiterSlotOpen = false;
        } else if (item.Data == 0 && l.InDelimiter) {
            l.InDelimiter = false;
            l.DelimiterSlotOpen = false;
        } else {
            return HidParseResult::BadItem;
        }
        break;
    default:
        return HidParseResult::BadItem;
    }
    return HidParseResult::Ok;
}

}  // namespace

// ---------------------------------------------------------------------------
// Public interface

const char* HidParseResultText(HidParseResult result)
{
    switch (result) {
    case HidParseResult::Ok: return "ok";
    case HidParseResult::Empty: return "empty descriptor or no top-level collection";
    case HidParseResult::Truncated: return "item runs past the end of the descriptor";
    case HidParseResult::UnbalancedCollection: return "unbalanced Collection/End Collection";
    case HidParseResult::MainItemOutsideCollection: return "main item outside any collection";
    case HidParseResult::BadItem: return "reserved or malformed item";
    case HidParseResult::TooLarge: return "counts or lengths too large for the caps model";
    }
    return "unknown parse result";
}

HidParseResult ParseReportDescriptor(const uint8_t* descriptor, size_t length,
                                     std::vector<HidPreparsedData>& collections,
                                     size_t* errorOffset)
{
    collections.clear();
    size_t offset = 0;
    HidParseResult result = HidParseResult::Empty;
    if (descriptor && length > 0) {
        DescriptorParser parser(descriptor, length);
        result = parser.Run(collections, offset);
    }
    if (result != HidParseResult::Ok)
        collections.clear();
    if (errorOffset)
        *errorOffset = result == HidParseResult::Ok ? 0 : offset;
    return result;
}

uint32_t HidGetCaps(const HidPreparsedData* data, HidCaps* caps)
{
    if (!data)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (caps)
        *caps = data->Caps;
    return HIDP_STATUS_SUCCESS;
}

namespace {

// Copies the visible caps of one kind (button or value) of `type`, in stored order.
template <typename Out, typename Convert>
uint32_t GetCaps(HidReportType type, bool buttons, Out* out, uint16_t* count,
                 const HidPreparsedData* data, Convert convert)
{
    if (!data)
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (type > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    const size_t capacity = (out && count) ? *count : 0;
    size_t written = 0;
    size_t total = 0;
    for (const HidStoredCap& cap : data->StoredCaps[type]) {
        if (cap.IsButtonCap != buttons)
            continue;
        ++total;
        if (written < capacity)
            out[written++] = convert(cap);
    }
    if (count)
        *count = static_cast<uint16_t>(written);
    return written < total ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

}  // namespace

uint32_t HidGetValueCaps(HidReportType type, HidValueCaps* caps, uint16_t* count,
                         const HidPreparsedData* data)
{
    return GetCaps(type, false, caps, count, data,
                   [](const HidStoredCap& cap) { return cap.Value; });
}

uint32_t HidGetButtonCaps(HidReportType type, HidButtonCaps* caps, uint16_t* count,
                          const HidPreparsedData* data)
{
    return GetCaps(type, true, caps, count, data, [](const HidStoredCap& cap) {
        HidButtonCaps b;
        static_cast<HidCapCommon&>(b) = cap.Value;
        b.ReportCount = cap.ReportCount;
        b.LogicalMin = cap.Value.LogicalMin;
        b.LogicalMax = cap.Value.LogicalMax;
        return b;
    });
}

uint32_t HidMaxUsageListLength(HidReportType type, uint16_t usagePage, const HidPreparsedData* data)
{
    if (!data || type > HidP_Feature)
        return 0;
    uint32_t sum = 0;
    for (const HidStoredCap& cap : data->StoredCaps[type])
        if (cap.IsButtonCap && (usagePage == 0 || cap.Value.UsagePage == usagePage))
            sum += cap.ReportCount;
    return sum;
}
