// The result callback's cost seen from Java: the time from a mock engine's event (its
// CLOCK_MONOTONIC stamp in the data, the clock System.nanoTime reads) to the entry of the
// static Java method (attach, method lookup, arrays, call), and the time from JNI_Init to
// JNI_Get_State true. Run in the platform root the JNI tests lay out (see JniScenarios).
import com.android.server.BCRScannerController;
import com.android.server.BCRScannerController.Delivery;
import java.nio.file.Files;
import java.util.Arrays;

public final class JniCallbackBench {
    public static void main(String[] args) throws Exception {
        int rounds = Integer.getInteger("bench.rounds", 10_000);
        JniScenarios.baseBehaviour = Files.readAllBytes(JniScenarios.BEHAVIOUR);
        Files.move(JniScenarios.CONFIG_DIR.resolve("CONFIG.later"), JniScenarios.CONFIG_DIR.resolve("CONFIG.xml"));
        BCRScannerController.load();
        BCRScannerController c = new BCRScannerController();
        long t0 = System.nanoTime();
        if (!c.JNI_Init()) throw new AssertionError("init");
        long end = System.currentTimeMillis() + JniScenarios.HANG_GUARD_MS;
        while (!c.JNI_Get_State()) {
            if (System.currentTimeMillis() > end) throw new AssertionError("not ready");
            Thread.sleep(1);
        }
        double readyMs = (System.nanoTime() - t0) / 1e6;

        JniScenarios.behave(JniScenarios.line("cycle.event=1"), JniScenarios.line("cycle.code=3"),
                            JniScenarios.line("cycle.stamp=1"), JniScenarios.line("cycle.data", new byte[12]));
        long[] latency = new long[rounds];
        for (int i = -200; i < rounds; ++i) {  // the first 200 warm up
            if (!c.JNI_CmStartDecode("onScanResult", 0)) throw new AssertionError("start");
            Delivery d = JniScenarios.take();
            long stamp = 0;
            for (int b = 7; b >= 0; --b) stamp = (stamp << 8) | (d.first[b] & 0xff);
            if (i >= 0) latency[i] = d.entryNanos - stamp;
        }
        Arrays.sort(latency);
        System.out.printf("callback latency over %d callbacks: median %.1f us, p99 %.1f us, max %.1f us%n", rounds,
                          latency[rounds / 2] / 1e3, latency[(int) (rounds * 0.99)] / 1e3, latency[rounds - 1] / 1e3);
        System.out.printf("JNI_Init to JNI_Get_State true: %.1f ms%n", readyMs);
        System.exit(0);
    }
}
