// Scenarios of the PSAM and RFID natives, run in a real JVM by the card slot tests. The
// test lays out the platform root (STACK_PLATFORM_ROOT) and runs a card simulator on the
// slot's pseudo-terminal; the file data/psam/atr under the root holds the answer to reset
// the card gives next (hex, empty: silence). The simulated kernel's library (property
// "simbus") is loaded before the service libraries. Each scenario prints "N passed, N failed" and
// exits non-zero on a failure.
import android.psam.PSAMResult;
import com.android.server.BCRScannerController;
import com.android.server.PSAMController;
import com.android.server.RFIDController;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;

public final class CardslotScenarios {
    static final Path ROOT = Paths.get(System.getenv("STACK_PLATFORM_ROOT"));
    static final Path ATR = ROOT.resolve("data/psam/atr");
    static final Path RFID_NODE = ROOT.resolve("sys/rfid/power");
    static final byte[] CARD_ATR = {0x3B, 0x6D, 0x00, 0x00, 0x57};

    static int passed;
    static int failed;

    interface Step {
        void run() throws Exception;
    }

    static void step(String name, Step body) {
        try {
            body.run();
            ++passed;
        } catch (Throwable t) {
            ++failed;
            System.out.println("FAILED " + name + ": " + t);
        }
    }

    static void checkEq(Object expected, Object actual, String what) {
        if (expected == null ? actual != null : !expected.equals(actual))
            throw new AssertionError(what + ": expected <" + expected + "> got <" + actual + ">");
    }

    static void cardAnswers(String hex) throws Exception {
        Files.createDirectories(ATR.getParent());
        Files.write(ATR, hex.getBytes(StandardCharsets.US_ASCII));
    }

    static void expectBytes(PSAMResult r, byte[] begin) {
        checkEq(0, r.resCode, "resCode");
        checkEq(begin.length, r.resLength, "resLength");
        checkEq(512, r.msgBytes.length, "msgBytes length");
        checkEq(Arrays.toString(begin), Arrays.toString(Arrays.copyOf(r.msgBytes, begin.length)), "msgBytes");
    }

    static void psam() throws Exception {
        PSAMController.load();
        PSAMController c = new PSAMController();
        byte[] select = {0x00, (byte) 0xA4, 0x04, 0x00};
        // Without a prior power-on the driver powers the card itself.
        step("command first", () -> expectBytes(c.JNI_PSAMSendCommand(select, 4), new byte[] {(byte) 0x90, 0x00}));
        step("power on after a command", () -> checkEq(0, c.JNI_PSAMPowerOn().resCode, "power on"));
        step("close", () -> checkEq(0, c.JNI_PSAMClose().resCode, "close"));
        step("open unpowered", () -> checkEq(-1, c.JNI_PSAMOpen().resCode, "open"));
        step("power on", () -> checkEq(0, c.JNI_PSAMPowerOn().resCode, "power on"));
        step("power on twice", () -> checkEq(-6, c.JNI_PSAMPowerOn().resCode, "power on"));
        step("open", () -> expectBytes(c.JNI_PSAMOpen(), CARD_ATR));
        step("open, bad answer", () -> {
            cardAnswers("3A1122");
            checkEq(-4, c.JNI_PSAMOpen().resCode, "open");
        });
        step("open, silence", () -> {
            cardAnswers("");
            checkEq(-2, c.JNI_PSAMOpen().resCode, "open");
        });
        step("command", () -> expectBytes(c.JNI_PSAMSendCommand(select, 4), new byte[] {(byte) 0x90, 0x00}));
        step("length differs", () -> checkEq(-5, c.JNI_PSAMSendCommand(new byte[5], 4).resCode, "send"));
        step("null command", () -> checkEq(-5, c.JNI_PSAMSendCommand(null, 4).resCode, "send"));
        step("state, silent card", () -> checkEq(false, c.JNI_PSAMGetState(), "state"));
        step("state, card", () -> {
            cardAnswers("3B6D000057");
            checkEq(true, c.JNI_PSAMGetState(), "state");
        });
        step("power off", () -> checkEq(0, c.JNI_PSAMPowerOff().resCode, "power off"));
        step("power off twice", () -> checkEq(-7, c.JNI_PSAMPowerOff().resCode, "power off"));
        step("close unpowered", () -> checkEq(0, c.JNI_PSAMClose().resCode, "close"));
    }

    static void psamNoUart() throws Exception {
        PSAMController.load();
        PSAMController c = new PSAMController();
        step("power on without a UART", () -> checkEq(-1, c.JNI_PSAMPowerOn().resCode, "power on"));
        step("power on again", () -> checkEq(-6, c.JNI_PSAMPowerOn().resCode, "power on"));
    }

    static String node() throws Exception {
        return Files.exists(RFID_NODE) ? new String(Files.readAllBytes(RFID_NODE), StandardCharsets.US_ASCII) : "<none>";
    }

    static void rfid(boolean configured) throws Exception {
        RFIDController.load();
        RFIDController c = new RFIDController();
        String start = node();
        step("off first", () -> checkEq(configured, c.JNI_RFIDPowerOff(), "off"));
        step("on", () -> {
            checkEq(configured, c.JNI_RFIDPowerOn(), "on");
            checkEq(configured ? "1\n" : start, node(), "node");
        });
        step("off", () -> {
            checkEq(configured, c.JNI_RFIDPowerOff(), "off");
            checkEq(configured ? "0\n" : start, node(), "node");
        });
    }

    static void missing() {
        step("a stand-in lacking a native fails to load", () -> {
            try {
                PSAMController.load();
                throw new AssertionError("loaded");
            } catch (UnsatisfiedLinkError expected) {
                // the library refused the class
            }
        });
    }

    // Run without the result class on the class path: every native answers null, and no
    // exception is left pending.
    static void noResultClass() {
        PSAMController.load();
        PSAMController c = new PSAMController();
        step("close without the result class", () -> checkEq(null, c.JNI_PSAMClose(), "close"));
        step("command without the result class", () -> checkEq(null, c.JNI_PSAMSendCommand(null, 4), "send"));
    }

    // The scanner service first (its mock engine laid out by the JNI tests), then the PSAM
    // service in the same JVM: the card answers as alone and the scanner's natives still do.
    static void scannerThenPsam() throws Exception {
        BCRScannerController.load();
        BCRScannerController scanner = new BCRScannerController();
        step("scanner init and ready", () -> {
            checkEq(true, scanner.JNI_Init(), "init");
            long end = System.currentTimeMillis() + 30_000;
            while (!scanner.JNI_Get_State()) {
                if (System.currentTimeMillis() > end) throw new AssertionError("not ready");
                Thread.sleep(1);
            }
            checkEq(true, scanner.JNI_CmOpen(), "open");
        });
        psam();
        step("scanner natives after the PSAM library", () -> {
            checkEq(true, scanner.JNI_Get_State(), "state");
            checkEq(2, scanner.JNI_Get_ScanType(), "scan type");
            checkEq(1, scanner.JNI_Scn_set("QRCode", "Maxlen", "42"), "set");
            checkEq("42", scanner.JNI_Scn_get("QRCode", "Maxlen"), "read back");
            checkEq(true, scanner.JNI_CmClose(), "close");
        });
    }

    public static void main(String[] args) throws Exception {
        // The simulated kernel first: it hands the slot's line settings to the pseudo-terminal
        // as a serial line takes them.
        System.load(System.getProperty("simbus"));
        switch (args[0]) {
            case "psam": psam(); break;
            case "psam-no-uart": psamNoUart(); break;
            case "rfid": rfid(true); break;
            case "rfid-unconfigured": rfid(false); break;
            case "missing": missing(); break;
            case "no-result-class": noResultClass(); break;
            case "scanner-then-psam": scannerThenPsam(); break;
            default: throw new IllegalArgumentException(args[0]);
        }
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }
}
