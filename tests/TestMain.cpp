#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cstdlib>
#include <typeinfo>

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

    /** Every test leaves no window behind. A forgotten alert box would otherwise outlive
        the test, and the framework's timer thread with it: at exit it was destroyed after
        that thread had gone and crashed the whole run. Leftover boxes are dismissed and
        the test fails. */
    class NoWindowLeftBehind : public ::testing::EmptyTestEventListener
    {
        void OnTestEnd (const ::testing::TestInfo&) override
        {
            auto& desktop = juce::Desktop::getInstance();
            juce::StringArray left;

            for (int i = 0; i < desktop.getNumComponents(); ++i)
                if (auto* c = desktop.getComponent (i))
                    left.add (c->getName().isEmpty() ? juce::String (typeid (*c).name()) : c->getName());

            EXPECT_TRUE (left.isEmpty()) << "windows left open: " << left.joinIntoString (", ");

            if (left.isEmpty())
                return;

            juce::ModalComponentManager::getInstance()->cancelAllModalComponents();

            for (int i = 0; i < 50 && desktop.getNumComponents() > 0; ++i)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
        }
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
    ::testing::UnitTest::GetInstance()->listeners().Append (new NoWindowLeftBehind());
    return RUN_ALL_TESTS();
}
