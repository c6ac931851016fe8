#include "ReplyFaults.h"

namespace {

constexpr std::uint8_t DataBitsMask = 0x7F;
// The head of a reply up to its reply byte, and the status the unit sends when it goes idle.
constexpr std::size_t ReplyBytePosition = 9;
constexpr std::uint8_t ModeReply = 0x43, ModeIdle = 0x00, End = 0xF7;
constexpr int StatusPosition = 10, FirstFlagPosition = 15;
constexpr std::uint8_t LowBit = 0x01;

} // namespace

void ReplyFaults::add(
    Fault fault, int nth, bool every, int releaseAfterRequests, int position, std::uint8_t mask)
{
    if (nth < 1)
        return;
    if (fault == Fault::DamageStatus || fault == Fault::FlipFlag) {
        position = fault == Fault::DamageStatus ? StatusPosition : FirstFlagPosition;
        mask = LowBit;
        fault = Fault::Corrupt;
    }
    rules.push_back({fault, nth, every, releaseAfterRequests, position, mask});
}

bool ReplyFaults::hits(const Rule &rule, int replyNumber) const
{
    return rule.every ? replyNumber % rule.nth == 0 : replyNumber == rule.nth;
}

std::vector<ReplyFaults::Message> ReplyFaults::onRequest()
{
    std::vector<Message> released;
    for (auto it = heldReplies.begin(); it != heldReplies.end();) {
        if (it->requestsLeft > 0 && --it->requestsLeft == 0) {
            released.push_back(std::move(it->message));
            it = heldReplies.erase(it);
        } else {
            ++it;
        }
    }
    return released;
}

std::vector<ReplyFaults::Message> ReplyFaults::apply(Message reply)
{
    const int number = ++replyCount;
    const Rule *lose = nullptr;
    const Rule *delay = nullptr;
    const Rule *duplicate = nullptr;
    const Rule *trail = nullptr;
    std::vector<Message> out;
    for (const Rule &rule : rules) {
        if (!hits(rule, number))
            continue;
        switch (rule.fault) {
        case Fault::Lose:
            lose = lose ? lose : &rule;
            break;
        case Fault::Delay:
            delay = delay ? delay : &rule;
            break;
        case Fault::Duplicate:
            duplicate = duplicate ? duplicate : &rule;
            break;
        case Fault::Trail:
            trail = trail ? trail : &rule;
            break;
        case Fault::DamageStatus:
        case Fault::FlipFlag:
            break; // turned into Corrupt by add()
        case Fault::Corrupt:
            if (rule.position >= 0 && static_cast<std::size_t>(rule.position) < reply.size()) {
                // Inside the message only 7-bit bytes are allowed, so only the data bits are touched.
                const bool inside
                    = rule.position > 0 && static_cast<std::size_t>(rule.position) + 1 < reply.size();
                reply[rule.position] ^= inside ? (rule.mask & DataBitsMask) : rule.mask;
                ++corruptedCount;
            }
            break;
        case Fault::StrayIdle:
            if (reply.size() > ReplyBytePosition) {
                Message idle(reply.begin(), reply.begin() + ReplyBytePosition);
                idle.insert(idle.end(), {ModeReply, ModeIdle, End});
                out.push_back(std::move(idle));
                ++prefixedCount;
            }
            break;
        case Fault::Unterminated:
            if (!reply.empty()) {
                out.emplace_back(reply.begin(), reply.end() - 1);
                ++prefixedCount;
            }
            break;
        }
    }

    if (lose) {
        ++lostCount;
        return out;
    }
    if (delay) {
        ++heldCount;
        heldReplies.push_back({std::move(reply), delay->releaseAfterRequests});
        return out;
    }
    if (duplicate) {
        ++duplicatedCount;
        out.push_back(reply);
    }
    if (trail) {
        ++duplicatedCount;
        heldReplies.push_back({reply, 1});
    }
    out.push_back(std::move(reply));
    return out;
}

std::vector<ReplyFaults::Message> ReplyFaults::releaseAll()
{
    std::vector<Message> released;
    for (HeldReply &held : heldReplies)
        released.push_back(std::move(held.message));
    heldReplies.clear();
    return released;
}
