#pragma once

#include <cstdint>
#include <vector>

// What happens to the unit's replies on their way out: lost, held back, sent twice or altered. Replies
// are counted from 1 in the order the unit produces them; requests drive the release of held replies.
class ReplyFaults
{
public:
    using Message = std::vector<std::uint8_t>;

    // StrayIdle sends the unit's "mode idle" status in front of the reply; Unterminated sends a copy of
    // the reply cut off before its end byte in front of it. Trail sends the reply and a copy of it just
    // before the reply to the next request, as a late echo would. DamageStatus turns the status byte into
    // another value (02 into 03, 00 into 01); FlipFlag flips the flag bit that carries bit 7 of the
    // first data byte of a data reply, outside what its checksum covers.
    enum class Fault {
        Lose,
        Delay,
        Duplicate,
        Corrupt,
        StrayIdle,
        Unterminated,
        Trail,
        DamageStatus,
        FlipFlag
    };

    // Reply byte XOR this mask gives a byte the updater does not know, so the reply is not recognised.
    static constexpr int DefaultCorruptPosition = 9;
    static constexpr std::uint8_t DefaultCorruptMask = 0x10;

    // Hits reply number nth, or every nth reply when every is set. A delayed reply is held until
    // releaseAll(), or until releaseAfterRequests further requests have arrived when that is above 0.
    // A corrupted reply has the byte at position XORed with mask; bytes between F0 and F7 stay 7-bit.
    void add(Fault fault, int nth, bool every, int releaseAfterRequests = 0,
        int position = DefaultCorruptPosition, std::uint8_t mask = DefaultCorruptMask);

    // Called once per request before its replies: returns held replies whose request count ran out.
    std::vector<Message> onRequest();

    // The messages to send now for one reply, after the faults that hit it.
    std::vector<Message> apply(Message reply);

    std::vector<Message> releaseAll();

    int produced() const { return replyCount; }
    int lost() const { return lostCount; }
    int held() const { return heldCount; }
    int duplicated() const { return duplicatedCount; }
    int corrupted() const { return corruptedCount; }
    int prefixed() const { return prefixedCount; }
    int stillHeld() const { return static_cast<int>(heldReplies.size()); }

private:
    struct Rule
    {
        Fault fault;
        int nth;
        bool every;
        int releaseAfterRequests;
        int position;
        std::uint8_t mask;
    };
    struct HeldReply
    {
        Message message;
        int requestsLeft; // 0: only an explicit release lets it go
    };

    bool hits(const Rule &rule, int replyNumber) const;

    std::vector<Rule> rules;
    std::vector<HeldReply> heldReplies;
    int replyCount = 0;
    int lostCount = 0;
    int heldCount = 0;
    int duplicatedCount = 0;
    int corruptedCount = 0;
    int prefixedCount = 0;
};
