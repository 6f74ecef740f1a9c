#include "fuzz/pending_reply.h"

#include <cstring>

void PendingReply::load(const Exchange &exchange)
{
    const std::vector<std::uint8_t> &reply = exchange.reply;
    std::size_t piece = exchange.chunk > 0 ? static_cast<std::size_t>(exchange.chunk) : reply.size();
    if (exchange.chunk < 0)
        piece = (reply.size() + 1) / 2;
    for (std::size_t at = 0; at < reply.size(); at += piece) {
        std::size_t n = reply.size() - at < piece ? reply.size() - at : piece;
        pieces_.emplace_back(reply.begin() + static_cast<long>(at), reply.begin() + static_cast<long>(at + n));
    }
    end_ = exchange.end;
}

void PendingReply::clear()
{
    pieces_.clear();
    end_ = ReplyEnd::Silent;
}

bool PendingReply::readable() const
{
    return !pieces_.empty() || end_ != ReplyEnd::Silent;
}

std::size_t PendingReply::available() const
{
    std::size_t total = 0;
    for (const auto &piece : pieces_)
        total += piece.size();
    return total;
}

long PendingReply::readStream(std::uint8_t *buffer, std::size_t capacity)
{
    if (end_ == ReplyEnd::FailAtOnce)
        return kFailure;
    if (pieces_.empty()) {
        if (end_ == ReplyEnd::Closed)
            return 0;
        return end_ == ReplyEnd::Reset ? kFailure : kNothing;
    }
    std::vector<std::uint8_t> &piece = pieces_.front();
    std::size_t n = piece.size() < capacity ? piece.size() : capacity;
    if (n == 0)
        return kNothing;
    std::memcpy(buffer, piece.data(), n);
    piece.erase(piece.begin(), piece.begin() + static_cast<long>(n));
    if (piece.empty())
        pieces_.pop_front();
    return static_cast<long>(n);
}

long PendingReply::readDatagram(std::uint8_t *buffer, std::size_t capacity)
{
    if (end_ == ReplyEnd::FailAtOnce)
        return kFailure;
    if (pieces_.empty()) {
        if (end_ == ReplyEnd::Closed) {
            end_ = ReplyEnd::Silent; // one empty datagram
            return 0;
        }
        return end_ == ReplyEnd::Reset ? kFailure : kNothing;
    }
    std::vector<std::uint8_t> datagram = std::move(pieces_.front());
    pieces_.pop_front();
    std::memcpy(buffer, datagram.data(), datagram.size() < capacity ? datagram.size() : capacity);
    return static_cast<long>(datagram.size());
}
