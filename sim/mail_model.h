// What both runners' worlds share when they play the mail statements over the
// in-memory mail model (host/fake): the scenario's item forms as the model's,
// and the model's refusals as a failed run.
#pragma once

#include <stdexcept>

#include "host/fake/fake_message.h"
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
