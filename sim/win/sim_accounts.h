// The simulated Outlook's account manager: the COM class
// {ED475410-B0D6-11D2-8C3B-00104B2A6676}, registered in this process for as
// long as the world lives, so that the add-in's CoCreateInstance finds it.
// Each instance is the model's manager (host::fake::FakeAccounts, the one the
// native runner plays) behind an IOlkAccountManager face; the helper and the
// notify sinks the add-in hands it are reached through their COM interfaces.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "host/fake/fake_accounts.h"
#include "sim/script.h"
#include "sim/win/sim_mail.h"

namespace qev::sim::win {

class SimAccounts {
public:
    // Registers the class; std::runtime_error when that fails.
    explicit SimAccounts(SimMail& mail);
    ~SimAccounts();  // revokes it
    SimAccounts(const SimAccounts&) = delete;
    SimAccounts& operator=(const SimAccounts&) = delete;

    // `account add|remove|notify`.
    void Change(const Account& change);
    std::vector<std::string> Problems() const;

    struct Parts;

private:
    std::unique_ptr<Parts> m_parts;
};

}  // namespace qev::sim::win
