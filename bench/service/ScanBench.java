// The whole service side's timings seen from Java, on the PL7230 terminal of the scan tests
// (ScanScenarios' layout; image 1 a QR symbol): the time from JNI_CmStartDecode to the
// data callback's entry over 50 scans, the time from the JVM's start to the first data
// callback, and back-to-back scans per second. Argument: "latency" (camera at 30 frames a
// second) or "throughput" (the camera as fast as the test set it).
import com.android.server.BCRScannerController;
import com.android.server.BCRScannerController.Delivery;
import java.lang.management.ManagementFactory;
import java.util.Arrays;

public final class ScanBench {
    // One scan: start, the data delivery's entry time.
    static long scan(BCRScannerController c) throws Exception {
        ScanScenarios.start("onScanResult");
        long t0 = System.nanoTime();
        for (;;) {
            Delivery d = ScanScenarios.take();
            if (d.event == ScanScenarios.EVENT_DATA) return d.entryNanos - t0;
        }
    }

    public static void main(String[] args) throws Exception {
        System.load(System.getProperty("scan.simbus"));
        BCRScannerController.load();
        BCRScannerController c = ScanScenarios.c;
        ScanScenarios.startUp();
        ScanScenarios.select(1);
        if (args[0].equals("latency")) {
            scan(c);
            long firstMs = System.currentTimeMillis() - ManagementFactory.getRuntimeMXBean().getStartTime();
            int rounds = 50;
            long[] latency = new long[rounds];
            for (int i = 0; i < rounds; ++i) latency[i] = scan(c);
            Arrays.sort(latency);
            System.out.printf("JVM start to the first data callback: %d ms%n", firstMs);
            System.out.printf("JNI_CmStartDecode to the data callback over %d scans at 30 frames/s: median %.1f ms, "
                              + "p95 %.1f ms%n", rounds, latency[rounds / 2] / 1e6, latency[(int) (rounds * 0.95)] / 1e6);
        } else {
            for (int i = 0; i < 20; ++i) scan(c);
            int rounds = 50;
            long t0 = System.nanoTime();
            for (int i = 0; i < rounds; ++i) scan(c);
            double seconds = (System.nanoTime() - t0) / 1e9;
            System.out.printf("back-to-back scans of a QR frame: %.0f decoded frames/s (%d in %.2f s)%n",
                              rounds / seconds, rounds, seconds);
        }
        c.JNI_CmClose();
        System.exit(0);
    }
}
