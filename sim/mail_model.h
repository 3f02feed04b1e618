// What both runners' worlds share when they play the mail statements over the
// in-memory mail model (host/fake): the scenario's item forms as the model's,
// and the model's refusals as a failed run.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/fake/fake_mail.h"
#include "host/fake/fake_message.h"
#include "host/fake/fake_system.h"
#include "host/utf.h"
#include "sim/script.h"
#include "sim/world.h"

namespace qev::sim {

inline host::fake::HeaderForm HeaderFormOf(HeadersForm form)
{
    namespace fake = host::fake;
    switch (form) {
        case HeadersForm::Unicode: return fake::HeaderForm::Unicode;
        case HeadersForm::Ansi: return fake::HeaderForm::Ansi;
        case HeadersForm::UnicodeEmpty: return fake::HeaderForm::UnicodeEmpty;
        case HeadersForm::StreamUnicode: return fake::HeaderForm::StreamUnicode;
        case HeadersForm::StreamAnsi: return fake::HeaderForm::StreamAnsi;
        case HeadersForm::None: break;
    }
    return fake::HeaderForm::None;
}

inline host::fake::BodyForm BodyFormOf(BodyForm form)
{
    namespace fake = host::fake;
    switch (form) {
        case BodyForm::PlainUnicode: return fake::BodyForm::PlainUnicode;
        case BodyForm::PlainAnsi: return fake::BodyForm::PlainAnsi;
        case BodyForm::HtmlAnsi: return fake::BodyForm::HtmlAnsi;
        case BodyForm::HtmlUnicode: return fake::BodyForm::HtmlUnicode;
        case BodyForm::ObjectModelHtml: return fake::BodyForm::ObjectModelHtml;
        case BodyForm::None: break;
    }
    return fake::BodyForm::None;
}

// A scenario's item as the model's message, received at that time (an OLE date).
inline host::fake::Message MessageOf(const Deliver& item, std::optional<double> received)
{
    namespace fake = host::fake;
    const fake::DeliverOptions options{
        .read = item.read,
        .kind = item.kind == ItemKind::Meeting ? fake::ItemKind::Meeting : fake::ItemKind::Mail,
        .headers = HeaderFormOf(item.headers),
        .body = BodyFormOf(item.body),
        .received = received};
    return fake::MessageFromText(host::Utf16(item.message), options);
}

// `waiting` on the model, the world's tick count being tick.
inline void PlaceWaiting(host::fake::FakeMail& mail, const Waiting& waiting, std::uint32_t tick)
{
    std::optional<double> received;
    if (waiting.receivedMinutes) received = host::fake::ScenarioNow(tick) + *waiting.receivedMinutes / 1440.0;
    mail.Place(host::Utf16(waiting.item.store), host::Utf16(waiting.item.path), MessageOf(waiting.item, received));
}

// `burst` on the model: the spam ones are spread evenly over the burst. Item
// i (from 1) has the subject "mail N", N being i plus the items the folder
// held before, and a sender of its own.
inline void DeliverBurst(host::fake::FakeMail& mail, const Burst& burst, std::uint32_t tick)
{
    std::vector<host::fake::Message> messages;
    messages.reserve(burst.count);
    const std::uint64_t n = burst.count;
    const std::uint64_t before = mail.Count(host::Utf16(burst.store), host::Utf16(burst.path)).items;
    for (std::uint64_t i = 1; i <= n; ++i) {
        const bool spam = (i * burst.spam) / n != ((i - 1) * burst.spam) / n;
        const std::string number = std::to_string(before + i);
        Deliver item;
        item.read = burst.read;
        item.message = "From: sender" + number + "@example.com\r\nSubject: mail " + number +
                       "\r\nX-MarlowcrestWKS-Spam: " + (spam ? "Yes" : "No") + "\r\n\r\nbody " + number + "\r\n";
        messages.push_back(MessageOf(item, host::fake::ScenarioNow(tick)));
    }
    mail.DeliverMany(host::Utf16(burst.store), host::Utf16(burst.path), std::move(messages), burst.events);
}

// Runs a statement on the model; its refusals (an unknown store, folder or
// item) end the run.
template <class Statement>
void PlayOnModel(Statement&& statement)
{
    try {
        statement();
    } catch (const std::invalid_argument& e) {
        throw Failure(e.what());
    }
}

}  // namespace qev::sim
