#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick {

// One named run of frames of a mascot: image names shown one after another, `refreshRate`
// seconds apart. Two sequences are the same sequence when their names are equal, whatever their
// frames, rate or completion.
class AnimationSequence {
public:
    AnimationSequence(std::string name, std::vector<std::string> frames, double refreshRate,
                      std::function<void()> completion = {})
        : m_name(std::move(name))
        , m_frames(std::move(frames))
        , m_refreshRate(refreshRate)
        , m_completion(std::move(completion)) {}

    const std::string& name() const { return m_name; }
    const std::vector<std::string>& frames() const { return m_frames; }

    // Seconds between two frames; also the timer's interval while the sequence plays.
    double refreshRate() const { return m_refreshRate; }
    void setRefreshRate(double refreshRate) { m_refreshRate = refreshRate; }

    // Runs once, when the sequence leaves its queue.
    const std::function<void()>& completion() const { return m_completion; }
    void setCompletion(std::function<void()> completion) { m_completion = std::move(completion); }

    bool operator==(const AnimationSequence& other) const { return m_name == other.m_name; }

private:
    std::string m_name;
    std::vector<std::string> m_frames;
    double m_refreshRate;
    std::function<void()> m_completion;
};

}  // namespace tarnwick

template <>
struct std::hash<tarnwick::AnimationSequence> {
    std::size_t operator()(const tarnwick::AnimationSequence& sequence) const noexcept {
        return std::hash<std::string>{}(sequence.name());
    }
};
