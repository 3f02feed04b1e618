// UTF-16 text as readable ASCII for test messages.
#pragma once

#include <string>

std::string Narrow(const std::u16string& text);
