#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

namespace
{
    // One JUCE initialiser (message manager, desktop) for the whole run.
    class JuceEnvironment : public ::testing::Environment
    {
    public:
        void SetUp() override      { initialiser = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
        void TearDown() override   { initialiser.reset(); }

    private:
        std::unique_ptr<juce::ScopedJuceInitialiser_GUI> initialiser;
    };
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new JuceEnvironment());
    return RUN_ALL_TESTS();
}
