#pragma once

namespace tarnwick {

// What a filter answers for a new flow: let it pass, drop it (the connection fails at once), or
// hold it until the filter resumes it with one of the other two.
class NEFilterNewFlowVerdict {
public:
    enum class Kind { allow, drop, pause };

    static NEFilterNewFlowVerdict allowVerdict() { return NEFilterNewFlowVerdict(Kind::allow); }
    static NEFilterNewFlowVerdict dropVerdict() { return NEFilterNewFlowVerdict(Kind::drop); }
    static NEFilterNewFlowVerdict pauseVerdict() { return NEFilterNewFlowVerdict(Kind::pause); }

    Kind kind() const { return m_kind; }
    bool operator==(const NEFilterNewFlowVerdict&) const = default;

private:
    explicit NEFilterNewFlowVerdict(Kind kind) : m_kind(kind) {}
    Kind m_kind;
};

}  // namespace tarnwick
