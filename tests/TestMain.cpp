#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include <cstdlib>

namespace
{
    /** One JUCE initialiser (message manager, desktop) for the whole run, and a home
        folder of the run's own, so that no test reads or writes the user's settings
        and documents. */
    class JuceEnvironment : public ::testing::Environment
    {
    public:
        void SetUp() override
        {
            char pattern[] = "/tmp/velmora-test-home-XXXXXX";
            home = mkdtemp (pattern);
            setenv ("HOME", home.c_str(), 1);
            unsetenv ("XDG_CONFIG_HOME");
            unsetenv ("XDG_DOCUMENTS_DIR");
            initialiser = std::make_unique<juce::ScopedJuceInitialiser_GUI>();
        }

        void TearDown() override
        {
            initialiser.reset();
            juce::File (home).deleteRecursively();
        }

    private:
        std::string home;
        std::unique_ptr<juce::ScopedJuceInitialiser_GUI> initialiser;
    };

    /** Every test starts without a settings file, as on a first start. */
    class FreshSettings : public ::testing::EmptyTestEventListener
    {
        void OnTestStart (const ::testing::TestInfo&) override
        {
            juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory)
                .getChildFile ("Olvarin Audioware").deleteRecursively();
        }
    };
}

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    ::testing::AddGlobalTestEnvironment (new JuceEnvironment());
    ::testing::UnitTest::GetInstance()->listeners().Append (new FreshSettings());
    return RUN_ALL_TESTS();
}
