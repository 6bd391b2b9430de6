#include "NetworkExtension/Flows/FlowDecider.h"

#include <gtest/gtest.h>

#include <map>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <variant>
#include <vector>

using namespace std::chrono_literals;

namespace tarnwick {
namespace {

using Answer = FlowDecider::Answer;

// A first packet of a connection from 10.200.1.1 to 10.200.1.2:7000.
struct Arrive {
    std::uint32_t id;
    std::uint16_t port = 40000;
    std::uint32_t sequence = 1;
    pid_t pid = 100;
    bool parses = true;
    int protocol = IPPROTO_TCP;
    std::uint64_t inode = 500;
};
// The provider's answer for the flow that packet `id` started.
struct Say {
    std::uint32_t id;
    Answer answer;
};
// A paused flow's later verdict.
struct Resume {
    std::uint32_t id;
    bool allow;
};
struct Wait {
    std::chrono::seconds duration;
};
struct Stop {};
// The process behind the flow that packet `id` started, found after the flow was held.
struct Found {
    std::uint32_t id;
    pid_t pid;
};
using Step = std::variant<Arrive, Say, Resume, Wait, Stop, Found>;

struct Row {
    const char* name;
    std::vector<Step> steps;
    std::map<std::uint32_t, std::string> verdicts;  // packet id -> accept, drop or discard
};

constexpr pid_t kExemptProcess = 7;

// Runs the steps and checks that every packet got exactly one verdict, the expected one.
void run(const Row& row) {
    SCOPED_TRACE(row.name);
    FlowTable::Limits limits;
    limits.packetsPerFlow = 2;
    limits.heldPerProcess = 2;
    FlowDecider decider(limits);
    auto now = FlowTable::Clock::now();
    std::map<std::uint32_t, std::vector<std::string>> given;
    std::map<std::uint32_t, std::uint64_t> flows;
    const auto release = [&](const std::optional<FlowTable::Release>& released) {
        if (released) {
            for (const auto id : released->packetIds) {
                given[id].push_back(released->verdict == FlowTable::Verdict::accept ? "accept"
                                                                                    : "drop");
            }
        }
    };
    for (const auto& step : row.steps) {
        if (const auto* arrive = std::get_if<Arrive>(&step)) {
            IPPacket packet;
            packet.family = AF_INET;
            packet.protocol = arrive->protocol;
            packet.source = {10, 200, 1, 1};
            packet.destination = {10, 200, 1, 2};
            packet.sourcePort = arrive->port;
            packet.destinationPort = 7000;
            packet.sequenceNumber = arrive->protocol == IPPROTO_TCP ? arrive->sequence : 0;
            int lookups = 0;
            const auto decision = decider.decide(
                {arrive->id, arrive->parses ? &packet : nullptr},
                [&]() -> std::optional<FlowDecider::Owner> {
                    ++lookups;
                    return FlowDecider::Owner{arrive->inode, 1000, arrive->pid};
                },
                [](pid_t pid) { return pid == kExemptProcess; }, now);
            EXPECT_LE(lookups, 1) << "the owner is looked up once at most";
            switch (decision.kind) {
                case FlowDecider::Decision::Kind::accept:
                    given[arrive->id].push_back("accept");
                    break;
                case FlowDecider::Decision::Kind::drop:
                    given[arrive->id].push_back("drop");
                    break;
                case FlowDecider::Decision::Kind::discard:
                    given[arrive->id].push_back("discard");
                    break;
                case FlowDecider::Decision::Kind::hold:
                    flows[arrive->id] = decision.flowIdentifier;
                    break;
                case FlowDecider::Decision::Kind::join:
                    break;
            }
        } else if (const auto* say = std::get_if<Say>(&step)) {
            release(decider.answer(flows.at(say->id), say->answer, now));
        } else if (const auto* resume = std::get_if<Resume>(&step)) {
            release(decider.resume(flows.at(resume->id), resume->allow, now));
        } else if (const auto* found = std::get_if<Found>(&step)) {
            release(decider.attribute(flows.at(found->id), found->pid, now));
        } else if (const auto* wait = std::get_if<Wait>(&step)) {
            now += wait->duration;
            for (const auto& released : decider.expire(now)) {
                release(released);
            }
        } else {
            for (const auto& released : decider.releaseAll()) {
                release(released);
            }
        }
    }
    for (const auto& [id, verdicts] : given) {
        EXPECT_EQ(verdicts.size(), 1u) << "packet " << id << " got more than one verdict";
    }
    std::map<std::uint32_t, std::string> last;
    for (const auto& [id, verdicts] : given) {
        last[id] = verdicts.back();
    }
    EXPECT_EQ(last, row.verdicts);
    EXPECT_EQ(decider.heldCount(), 0u) << "nothing is left waiting";
}

TEST(FlowDecider, EveryPacketGetsExactlyOneVerdict) {
    const std::vector<Row> rows = {
        {"a packet that does not parse is refused, never let through unasked",
         {Arrive{.id = 1, .parses = false}},
         {{1, "drop"}}},
        {"an exempt process passes without a flow",
         {Arrive{.id = 1, .pid = kExemptProcess}, Arrive{.id = 2, .pid = kExemptProcess}},
         {{1, "accept"}, {2, "accept"}}},
        {"allowed at once", {Arrive{.id = 1}, Say{1, Answer::allow}}, {{1, "accept"}}},
        {"denied at once", {Arrive{.id = 1}, Say{1, Answer::drop}}, {{1, "drop"}}},
        {"a failure after a flow was recorded still gives exactly one verdict",
         {Arrive{.id = 1}, Say{1, Answer::failed}, Resume{1, false}, Wait{61s}, Stop{}},
         {{1, "accept"}}},
        {"a retransmission joins the paused flow and shares its verdict",
         {Arrive{.id = 1}, Say{1, Answer::pause}, Arrive{.id = 2}, Resume{1, false},
          Resume{1, true}},
         {{1, "drop"}, {2, "drop"}}},
        {"copies beyond what a flow holds are discarded",
         {Arrive{.id = 1}, Say{1, Answer::pause}, Arrive{.id = 2}, Arrive{.id = 3},
          Resume{1, true}},
         {{1, "accept"}, {2, "accept"}, {3, "discard"}}},
        {"a verdict that comes during the examination is kept",
         {Arrive{.id = 1}, Resume{1, false}, Say{1, Answer::pause}},
         {{1, "drop"}}},
        {"a paused flow without an answer passes after the limit",
         {Arrive{.id = 1}, Say{1, Answer::pause}, Wait{59s}, Arrive{.id = 2}, Wait{2s},
          Resume{1, false}},
         {{1, "accept"}, {2, "accept"}}},
        {"stopping lets held flows through",
         {Arrive{.id = 1}, Say{1, Answer::pause}, Arrive{.id = 2, .port = 40001},
          Say{2, Answer::pause}, Stop{}},
         {{1, "accept"}, {2, "accept"}}},
        {"the same connection sent again soon gets the same answer",
         {Arrive{.id = 1}, Say{1, Answer::drop}, Arrive{.id = 2}},
         {{1, "drop"}, {2, "drop"}}},
        {"a new connection on the same ports is asked again",
         {Arrive{.id = 1}, Say{1, Answer::allow}, Arrive{.id = 2, .sequence = 99},
          Say{2, Answer::drop}},
         {{1, "accept"}, {2, "drop"}}},
        {"a UDP socket's datagrams share a flow; another socket on the ports does not",
         {Arrive{.id = 1, .protocol = IPPROTO_UDP}, Say{1, Answer::pause},
          Arrive{.id = 2, .protocol = IPPROTO_UDP},
          Arrive{.id = 3, .protocol = IPPROTO_UDP, .inode = 501}, Say{3, Answer::allow},
          Resume{1, false}},
         {{1, "drop"}, {2, "drop"}, {3, "accept"}}},
        {"a process holding its limit of waiting flows is refused, not let through",
         {Arrive{.id = 1, .port = 1}, Say{1, Answer::pause}, Arrive{.id = 2, .port = 2},
          Say{2, Answer::pause}, Arrive{.id = 3, .port = 3}, Arrive{.id = 4, .port = 4, .pid = 101},
          Say{4, Answer::allow}, Resume{1, true}, Arrive{.id = 5, .port = 5}, Say{5, Answer::allow},
          Resume{2, true}},
         {{1, "accept"}, {2, "accept"}, {3, "drop"}, {4, "accept"}, {5, "accept"}}},
        {"flows of unknown processes are bounded by their user, not by one shared count",
         {Arrive{.id = 1, .port = 1, .pid = 0}, Arrive{.id = 2, .port = 2, .pid = 0},
          Arrive{.id = 3, .port = 3, .pid = 0}, Say{1, Answer::allow}, Say{2, Answer::drop},
          Say{3, Answer::allow}},
         {{1, "accept"}, {2, "drop"}, {3, "accept"}}},
        {"a process found after its flows were held is bounded from then on",
         {Arrive{.id = 1, .port = 1, .pid = 0}, Arrive{.id = 2, .port = 2, .pid = 0},
          Arrive{.id = 3, .port = 3, .pid = 0}, Found{1, 100}, Found{2, 100}, Found{3, 100},
          Say{1, Answer::allow}, Say{2, Answer::allow}},
         {{1, "accept"}, {2, "accept"}, {3, "drop"}}},
    };
    for (const auto& row : rows) {
        run(row);
    }
}

}  // namespace
}  // namespace tarnwick
