#pragma once
// The check program that runs inside the QEMU test guest: a small registry
// of checks, each a function that talks to QEMU's emulated IDE controller
// through the project's own port and ATA code and records what it expected.
//
// Adding a check is one block in any .cpp of this folder:
//
//     GUEST_CHECK(seek, first_sector)
//     {
//         for (const auto& d : c.Drives()) {
//             c.Connect(d);
//             c.Expect(SeekLBA(0) >= 0, d.id + ": seek to 0");
//         }
//     }
//
// The group ("seek") is what the host side reports as one ctest entry; list a
// new group in tests/qemu/CMakeLists.txt (VORAN_QEMU_GROUPS).
//
// GUEST_CHECK_LAST(group, name) registers a check that runs after every
// other one: a check that hands the controller to a kernel driver, after
// which no check may touch its ports.
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "GuestEnv.h"

namespace guest {

class Check {
public:
    Check(const Env& env, std::string group, std::string name);

    const Env& env() const { return m_env; }
    const std::vector<DriveInfo>& Drives() const { return m_env.drives; }
    bool Simulated() const { return m_env.simulated; }

    // Points the ATA layer at the drive (InitDLL with the guest's time-out)
    // and selects it the way the program does after a port selection; on
    // q35 connects it through ATA pass-through (throws when it cannot).
    void Connect(const DriveInfo& d) const;
    bool Sata() const { return m_env.sata; }

    // Records a failed expectation; the check goes on.  Returns `ok`.
    bool Expect(bool ok, const std::string& what);
    template <class A, class B>
    bool ExpectEq(const A& actual, const B& expected, const std::string& what)
    {
        if (actual == expected)
            return true;
        std::ostringstream s;
        s << what << ": got " << Show(actual) << ", expected " << Show(expected);
        return Expect(false, s.str());
    }
    // An observation worth keeping beside the verdict (what the drive
    // answered where our simulated drive may answer otherwise).
    void Note(const std::string& what);
    // A measurement (a figure, no verdict), reported beside the results.
    void Bench(const std::string& what);

    // Formatting helpers for messages.
    static std::string Hex(uint64_t v, int digits = 2);
    template <class T>
    static std::string Show(const T& v)
    {
        std::ostringstream s;
        if constexpr (std::is_same_v<T, uint8_t>)
            s << Hex(v, 2);
        else if constexpr (std::is_same_v<T, uint16_t>)
            s << Hex(v, 4);
        else if constexpr (std::is_same_v<T, bool>)
            s << (v ? "true" : "false");
        else if constexpr (std::is_convertible_v<T, std::string>)
            s << '"' << std::string(v) << '"';
        else if constexpr (requires { v.begin(); v.end(); }) {
            s << '{';
            for (const auto& e : v)
                s << ' ' << Show(e);
            s << " }";
        } else
            s << v;
        return s.str();
    }

    const std::string& group() const { return m_group; }
    const std::string& name() const { return m_name; }
    const std::vector<std::string>& failures() const { return m_failures; }
    const std::vector<std::string>& notes() const { return m_notes; }
    const std::vector<std::string>& benches() const { return m_benches; }

private:
    const Env& m_env;
    std::string m_group;
    std::string m_name;
    std::vector<std::string> m_failures;
    std::vector<std::string> m_notes;
    std::vector<std::string> m_benches;
};

using CheckFn = void (*)(Check&);

struct CheckEntry {
    std::string group;
    std::string name;
    CheckFn fn;
    bool last = false;  // runs after every other check
};

// Checks in the order their files were linked; within a file, in the order
// they stand.  Every check sets up the channel it needs itself.
std::vector<CheckEntry>& Registry();

struct Registrar {
    Registrar(const char* group, const char* name, CheckFn fn, bool last = false)
    {
        Registry().push_back({group, name, fn, last});
    }
};

struct RunSummary {
    int run = 0;
    int failed = 0;
};

// Runs the checks (all, or those whose "group.name" starts with `filter`),
// those registered as last after the others, and writes one line per
// verdict, failure, note and measurement to `out`.  The "sata_" groups run
// only on q35 (env.sata), the others only without.
RunSummary RunChecks(const Env& env, const std::string& filter, std::ostream& out);

}  // namespace guest

#define GUEST_CHECK(group, name)                                                    \
    static void guest_check_##group##_##name(::guest::Check& c);                    \
    static ::guest::Registrar guest_registrar_##group##_##name(#group, #name,       \
                                                               &guest_check_##group##_##name); \
    static void guest_check_##group##_##name([[maybe_unused]] ::guest::Check& c)

#define GUEST_CHECK_LAST(group, name)                                               \
    static void guest_check_##group##_##name(::guest::Check& c);                    \
    static ::guest::Registrar guest_registrar_##group##_##name(#group, #name,       \
                                                               &guest_check_##group##_##name, true); \
    static void guest_check_##group##_##name([[maybe_unused]] ::guest::Check& c)
