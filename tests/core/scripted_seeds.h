// Replaces the clock behind RandomSource::reseed() with a fixed list of seeds for the lifetime
// of the object, so a series can be replayed exactly, and puts the previous seed source back
// when it goes out of scope. The list is used in order and starts again when it runs out.
#pragma once

#include "drill/random_source.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class ScriptedSeeds {
public:
    explicit ScriptedSeeds(std::vector<std::uint32_t> seeds)
        : state_(std::make_shared<State>(State{std::move(seeds), 0})),
          previous_(drill::RandomSource::instance().seedSource()) {
        drill::RandomSource::instance().setSeedSource([state = state_]() {
            const std::uint32_t seed = state->seeds[state->calls % state->seeds.size()];
            ++state->calls;
            return seed;
        });
    }

    ~ScriptedSeeds() { drill::RandomSource::instance().setSeedSource(std::move(previous_)); }

    ScriptedSeeds(const ScriptedSeeds&) = delete;
    ScriptedSeeds& operator=(const ScriptedSeeds&) = delete;

    // How many times reseed() asked for a seed so far.
    std::size_t calls() const { return state_->calls; }

private:
    struct State {
        std::vector<std::uint32_t> seeds;
        std::size_t calls;
    };

    std::shared_ptr<State> state_;
    drill::RandomSource::SeedSource previous_;
};
