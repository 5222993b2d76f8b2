// The whole service side from Java on a PL7230 terminal (test_scan.cpp lays it out): the
// scanner service's natives, the start-up, the PL7230 driver over the host camera library
// and the build's decoder, the simulated I2C bus (the bus library, loaded first). The host
// camera's list holds the images the test rendered; /data/scan/expected/<n> holds the bytes
// image n encodes (missing for an image without a code). Each scenario runs its cases in
// order, prints "N passed, N failed" and exits non-zero on a failure.
import com.android.server.BCRScannerController;
import com.android.server.BCRScannerController.Delivery;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.TimeUnit;

public final class ScanScenarios {
    // A hang guard for everything awaited, never a pass mark.
    static final long HANG_GUARD_MS = 30_000;
    // How long a cycle on frames without a code is watched for a delivery.
    static final long QUIET_MS = 1_000;
    static final int CAMERA_SELECT = 0x70;
    static final int CAMERA_WAIT_FRAME = 0x71;
    static final int EVENT_DATA = 1;
    static final int EVENT_BEEP = 6;
    static final int QR_CODE_TYPE = 57;
    static final String STOP_FIRST = "5c w: 55 00 AB";
    static final String STOP_SECOND = "5c w: 59 00 A7";

    static final Path ROOT = Paths.get(System.getenv("STACK_PLATFORM_ROOT"));
    static final Path BUS_JOURNAL = ROOT.resolve("data/simbus/journal");
    static final Path CAMERA_JOURNAL = ROOT.resolve("data/framecam/journal");
    static final Path EXPECTED = ROOT.resolve("data/scan/expected");

    interface Case {
        void run() throws Exception;
    }

    static int passed;
    static int failed;
    static boolean stopped;

    static void run(String name, Case body) {
        if (stopped) return;
        try {
            body.run();
            ++passed;
        } catch (Throwable t) {
            ++failed;
            // Later cases build on earlier ones.
            stopped = true;
            System.out.println("FAILED " + name + ": " + t);
        }
    }

    static void check(boolean condition, String what) {
        if (!condition) throw new AssertionError(what);
    }

    static void checkEq(Object expected, Object actual, String what) {
        if (expected == null ? actual != null : !expected.equals(actual))
            throw new AssertionError(what + ": expected <" + expected + "> got <" + actual + ">");
    }

    static int count(Path journal, String prefix) throws Exception {
        if (!Files.exists(journal)) return 0;
        int n = 0;
        for (String l : Files.readAllLines(journal, StandardCharsets.ISO_8859_1))
            if (l.startsWith(prefix)) ++n;
        return n;
    }

    static void await(String what, Check condition) throws Exception {
        long end = System.currentTimeMillis() + HANG_GUARD_MS;
        while (!condition.holds()) {
            check(System.currentTimeMillis() < end, what + " within the hang guard");
            Thread.sleep(1);
        }
    }

    interface Check {
        boolean holds() throws Exception;
    }

    static byte[] expected(int image) throws Exception {
        return Files.readAllBytes(EXPECTED.resolve(Integer.toString(image)));
    }

    static final BCRScannerController c = new BCRScannerController();
    static final Set<Long> jvmThreads = new HashSet<>();

    static void startUp() throws Exception {
        for (Thread t : Thread.getAllStackTraces().keySet()) jvmThreads.add(t.getId());
        check(c.JNI_Init(), "JNI_Init");
        await("ready", c::JNI_Get_State);
        check(c.JNI_CmOpen(), "JNI_CmOpen");
    }

    // Serves image n from the next frame on and waits until a frame of it was delivered.
    static void select(int image) {
        checkEq(1, c.JNI_Scn_IOCtrl(CAMERA_SELECT, image), "select image " + image);
        checkEq(1, c.JNI_Scn_IOCtrl(CAMERA_WAIT_FRAME, (int) HANG_GUARD_MS), "a frame of image " + image);
    }

    static void start(String method) throws Exception {
        BCRScannerController.deliveries.clear();
        await("a cycle starts", () -> c.JNI_CmStartDecode(method, 0));
    }

    static Delivery take() throws Exception {
        Delivery d = BCRScannerController.deliveries.poll(HANG_GUARD_MS, TimeUnit.MILLISECONDS);
        check(d != null, "a delivery");
        return d;
    }

    static void checkDelivery(Delivery d, int event, int code, byte[] first, int length) {
        checkEq(event, d.event, "event");
        checkEq(code, d.codeType, "code type");
        check(Arrays.equals(first, d.first), "first array " + (d.first == null ? "null" : d.first.length + " bytes"));
        checkEq(null, d.second, "second array");
        checkEq(length, d.length, "length");
        check(!jvmThreads.contains(d.threadId), "delivered on a thread the JVM did not start");
    }

    // A cycle on image n reads its bytes: the data delivery, after any beep.
    static void reads(int image) throws Exception {
        select(image);
        start("onScanResult");
        Delivery d = take();
        if (d.event == EVENT_BEEP) d = take();
        byte[] bytes = expected(image);
        checkDelivery(d, EVENT_DATA, QR_CODE_TYPE, bytes, bytes.length);
        c.JNI_CmStopDecode(0);
    }

    // A cycle on image n delivers nothing for a second; then stopped.
    static void quiet(int image) throws Exception {
        select(image);
        start("onScanResult");
        Delivery d = BCRScannerController.deliveries.poll(QUIET_MS, TimeUnit.MILLISECONDS);
        check(c.JNI_CmStopDecode(0), "stop");
        if (d != null) {
            Thread.sleep(300);
            StringBuilder all = new StringBuilder();
            for (Delivery e = d; e != null; e = BCRScannerController.deliveries.poll())
                all.append(" (").append(e.event).append(", ").append(e.codeType).append(", ")
                   .append(e.first == null ? "null" : new String(e.first, StandardCharsets.ISO_8859_1)).append(")");
            throw new AssertionError("no delivery, got" + all);
        }
    }

    // The first run on a fresh terminal. Images: 1 the first QR symbol, 2-5 the payload
    // table, 6 a frame without a code.
    static void road() throws Exception {
        run("first read through the whole stack", () -> {
            startUp();
            select(1);
            start("onScan");
            checkDelivery(take(), EVENT_BEEP, 0, null, 0);
            byte[] bytes = expected(1);
            Delivery d = take();
            checkEq("onScan", d.method, "method");
            checkDelivery(d, EVENT_DATA, QR_CODE_TYPE, bytes, bytes.length);
            check(c.JNI_CmStopDecode(0), "stop");
        });
        String[] payloads = {"1 byte", "100 bytes", "1,000 bytes", "all 256 byte values"};
        for (int i = 0; i < payloads.length; ++i) {
            int image = 2 + i;
            run("payload " + payloads[i], () -> reads(image));
        }
        run("frames without a code deliver nothing until stopped, then a QR frame reads", () -> {
            int stops = count(BUS_JOURNAL, STOP_FIRST);
            quiet(6);
            await("the stop command", () -> count(BUS_JOURNAL, STOP_FIRST) > stops && count(BUS_JOURNAL, STOP_SECOND) > stops);
            reads(1);
        });
        run("the idle second after a stop stops the stream; the next start restarts it and reads", () -> {
            int stops = count(CAMERA_JOURNAL, "cam_stop "), starts = count(CAMERA_JOURNAL, "cam_start ");
            await("the stream stopped", () -> count(CAMERA_JOURNAL, "cam_stop ") > stops);
            reads(1);
            check(count(CAMERA_JOURNAL, "cam_start ") > starts, "restarted");
        });
        run("QR Code off through Java", () -> {
            checkEq(1, c.JNI_Scn_set("QRCode", "Enable", "0"), "set");
            checkEq("0", c.JNI_Scn_get("QRCode", "Enable"), "get");
            quiet(1);
        });
        run("close", () -> check(c.JNI_CmClose(), "close"));
    }

    // A second run on the same terminal: QR Code is still off, and on again reads.
    static void again() throws Exception {
        run("QR Code still off", () -> {
            startUp();
            checkEq("0", c.JNI_Scn_get("QRCode", "Enable"), "get");
            quiet(1);
        });
        run("QR Code on again reads", () -> {
            checkEq(1, c.JNI_Scn_set("QRCode", "Enable", "1"), "set");
            checkEq("1", c.JNI_Scn_get("QRCode", "Enable"), "get");
            reads(1);
        });
        run("close", () -> check(c.JNI_CmClose(), "close"));
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("scan.simbus"));
        BCRScannerController.load();
        switch (args.length > 0 ? args[0] : "") {
            case "road": road(); break;
            case "again": again(); break;
            default:
                System.out.println("usage: ScanScenarios road|again");
                System.exit(2);
        }
        System.out.println(passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }
}
