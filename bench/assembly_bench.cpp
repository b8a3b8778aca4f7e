// Assembly of carved rows into records, as a crafted free space makes it
// work: every row distinct, all of them in one conversation or one contact.
//
//   CarvedMessages/N/dates:     N messages, one a minute, into one conversation
//   CarvedMessages/N/oneSecond: N messages that share their date, type and
//                               address and differ only in their body
//   CarvedContactValues/N:      N distinct phone numbers of one deleted contact
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dbrecover/contact_assembly.h"
#include "dbrecover/message_assembly.h"

namespace {

using namespace qb;

std::vector<std::string> Bodies(std::int64_t count) {
    std::vector<std::string> bodies;
    bodies.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        bodies.push_back("Nachricht " + std::to_string(i) + ": Treffen wir uns morgen um zehn am Bahnhof?");
    }
    return bodies;
}

void BM_CarvedMessages(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    const bool oneSecond = state.range(1) != 0;
    const std::vector<std::string> bodies = Bodies(count);
    std::size_t messages = 0;
    for (auto _ : state) {
        dbrecover::ThreadMap threads;
        dbrecover::MessageCarver carver(threads);
        for (std::int64_t i = 0; i < count; ++i) {
            dbrecover::CarvedSmsRow row;
            row.address = "+4915112345678";
            row.body = bodies[static_cast<std::size_t>(i)];
            row.date = 1409529600000 + (oneSecond ? 0 : static_cast<std::uint64_t>(i) * 60000);
            row.threadId = 1;
            row.type = 1 + static_cast<std::uint64_t>(i % 2);
            if (oneSecond) row.type = 1;
            row.from.page = static_cast<std::uint32_t>(2 + i / 20);
            row.from.offset = static_cast<std::uint32_t>(200 * (i % 20));
            carver.AddCarvedSmsRow(row);
        }
        messages = threads.begin()->second.messages.size();
        benchmark::DoNotOptimize(messages);
    }
    state.counters["messages"] = static_cast<double>(messages);
    state.SetItemsProcessed(count * state.iterations());
}

void BM_CarvedContactValues(benchmark::State& state) {
    const std::int64_t count = state.range(0);
    std::vector<std::string> numbers;
    for (std::int64_t i = 0; i < count; ++i) numbers.push_back("+49 171 " + std::to_string(1000000 + i));
    dbrecover::MimetypeNames names;
    names.Replace({{5, "vnd.android.cursor.item/phone_v2"}});
    const dbrecover::GroupTitles titles;
    std::size_t length = 0;
    for (auto _ : state) {
        dbrecover::ContactMap contacts;
        dbrecover::ContactCarver carver(contacts, names, titles);
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            dbrecover::CarvedDataRow row;
            row.mimetypeId = 5;
            row.rawContactId = 7;
            row.data1 = numbers[i];
            row.from.page = static_cast<std::uint32_t>(2 + i / 40);
            row.from.offset = static_cast<std::uint32_t>(100 * (i % 40));
            carver.AddCarvedDataRow(row);
        }
        length = contacts.at(7).phone.size();
        benchmark::DoNotOptimize(length);
    }
    state.counters["field_MiB"] = static_cast<double>(length) / (1024.0 * 1024.0);
    state.SetItemsProcessed(count * state.iterations());
}

BENCHMARK(BM_CarvedMessages)
    ->ArgNames({"rows", "oneSecond"})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Args({500000, 0})
    ->Args({500000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarvedContactValues)->ArgName("values")->Arg(10000)->Arg(500000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
