// The application shell: the application object, the main window and the process entry.

#include "VelmoraResources.h"
#include "MainComponent.h"

#include <csignal>
#include <pthread.h>
#include <X11/Xlib.h>

namespace
{
    //==============================================================================
    /** On Linux a session logout, a service manager or Ctrl-C asks a program to quit with
        SIGTERM or SIGINT. They are blocked in every thread from the start of the process
        and picked up by one thread that hands them to the message thread as a platform
        quit, so that a take in progress is finalised before the process ends. */
    sigset_t quitSignals()
    {
        sigset_t set;
        sigemptyset (&set);
        sigaddset (&set, SIGTERM);
        sigaddset (&set, SIGINT);
        return set;
    }

    // Runs before main, so every thread the process ever starts inherits the mask.
    const bool quitSignalsBlocked = []
    {
        const auto set = quitSignals();
        return pthread_sigmask (SIG_BLOCK, &set, nullptr) == 0;
    }();

    class QuitSignalListener : private juce::Thread
    {
    public:
        QuitSignalListener() : juce::Thread ("Quit signals")
        {
            if (quitSignalsBlocked)
                startThread();
        }

        ~QuitSignalListener() override
        {
            signalThreadShouldExit();

            // Wakes the sigwait, which then sees that the thread should exit.
            if (isThreadRunning())
                pthread_kill ((pthread_t) getThreadId(), SIGTERM);

            stopThread (2000);
        }

    private:
        void run() override
        {
            const auto set = quitSignals();

            while (! threadShouldExit())
            {
                int received = 0;

                if (sigwait (&set, &received) != 0 || threadShouldExit())
                    return;

                juce::MessageManager::callAsync ([]
                {
                    if (auto* app = juce::JUCEApplicationBase::getInstance())
                        app->systemRequestedQuit();
                });
            }
        }
    };
}

namespace
{
    //==============================================================================
    /** When the connection to the X server breaks (the server is killed, the session
        ends), Xlib calls its I/O error handler and then ends the process at once, with no
        shut-down of ours: the writers' buffers, up to five seconds of audio, would be lost
        and the headers left behind. Our handler, installed over the framework's, first
        completes the take's files, then lets the framework's handler and Xlib go on. */
    MainComponent* componentOfLostDisplay = nullptr;
    XIOErrorHandler frameworkDisplayErrorHandler = nullptr;

    int displayLost (Display* display)
    {
        if (componentOfLostDisplay != nullptr)
            componentOfLostDisplay->endTakeBeforeExit();

        return frameworkDisplayErrorHandler != nullptr ? frameworkDisplayErrorHandler (display) : 0;
    }
}

//==============================================================================
class VelmoraRecorderApplication : public juce::JUCEApplication
{
public:
    VelmoraRecorderApplication() = default;

    ~VelmoraRecorderApplication() override
    {
        mainWindow = nullptr;
    }

    const juce::String getApplicationName() override       { return "Velmora Recorder"; }
    const juce::String getApplicationVersion() override    { return "1.0"; }
    bool moreThanOneInstanceAllowed() override             { return false; }

    void initialise (const juce::String&) override
    {
        lookAndFeel.setDefaultSansSerifTypeface (juce::Typeface::createSystemTypefaceFor (BinaryData::DejaVuSans_ttf,
                                                                                          BinaryData::DejaVuSans_ttfSize));
        juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
        mainWindow = std::make_unique<MainWindow> (getApplicationName());
        quitSignalListener = std::make_unique<QuitSignalListener>();

        // The window is on the screen, so the framework has opened its display and set
        // its own handler, which ours calls in turn.
        componentOfLostDisplay = &mainWindow->getMainComponent();
        frameworkDisplayErrorHandler = XSetIOErrorHandler (displayLost);
    }

    void shutdown() override
    {
        quitSignalListener = nullptr;

        // From here on the component goes the usual way.
        XSetIOErrorHandler (frameworkDisplayErrorHandler);
        componentOfLostDisplay = nullptr;
        mainWindow = nullptr;
    }

    void anotherInstanceStarted (const juce::String&) override {}

    void systemRequestedQuit() override
    {
        quit();
    }

    //==============================================================================
    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (const juce::String& name)
            : juce::DocumentWindow (name,
                                    juce::Desktop::getInstance().getDefaultLookAndFeel()
                                        .findColour (juce::ResizableWindow::backgroundColourId),
                                    juce::DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (false);

            // The member owns the component; the window only shows it.
            mainComponent = std::make_unique<MainComponent>();
            setContentNonOwned (mainComponent.get(), true);

            setName (juce::String ("Velmora Recorder") + " " + "1.0" + " (" + "Olvarin Audioware" + ")");
            setResizable (true, true);
            centreWithSize (getWidth(), getHeight());
            setResizeLimits (800, 550, 4000, 4000);
            setVisible (true);
            toFront (true);
        }

        ~MainWindow() override
        {
            clearContentComponent();
            mainComponent = nullptr;
        }

        MainComponent& getMainComponent()   { return *mainComponent; }

        void closeButtonPressed() override
        {
            if (! mainComponent->isRecording)
            {
                juce::JUCEApplication::getInstance()->systemRequestedQuit();
                return;
            }

            juce::AlertWindow::showMessageBoxAsync (juce::AlertWindow::WarningIcon, "Warning",
                                                    "Stop recording to close application.", {}, nullptr, nullptr);
        }

    private:
        std::unique_ptr<MainComponent> mainComponent;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    juce::LookAndFeel_V4 lookAndFeel;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<QuitSignalListener> quitSignalListener;
};

START_JUCE_APPLICATION (VelmoraRecorderApplication)
