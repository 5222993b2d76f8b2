// The Java half of the scan command: drives the scanner service's natives as the framework's
// service does and scans the host camera's images one after another. Arguments: the number
// of images in the camera's list and the wait for each result in milliseconds. Prints one
// line per image: "image <n> <code type> <data in hex>", "image <n> none", or
// "image <n> unselectable"; "failed <what>" and exit 1 when the service does not come up.
import com.android.server.BCRScannerController;
import com.android.server.BCRScannerController.Delivery;
import java.util.concurrent.TimeUnit;

public final class ScanMain {
    // The host camera's own controls (platform/include/framecam.h).
    static final int CAMERA_SELECT = 0x70;
    static final int CAMERA_WAIT_FRAME = 0x71;
    static final int EVENT_DATA = 1;
    // Every wait for the service itself ends here at the latest.
    static final long HANG_GUARD_MS = 120_000;

    static void fail(String what) {
        System.out.println("failed " + what);
        System.out.flush();
        System.exit(1);
    }

    static String hex(byte[] bytes) {
        StringBuilder s = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) s.append(String.format("%02x", b & 0xff));
        return s.toString();
    }

    // Starts a cycle, waiting while the last one is still closing.
    static boolean start(BCRScannerController c) throws InterruptedException {
        long end = System.currentTimeMillis() + HANG_GUARD_MS;
        while (!c.JNI_CmStartDecode("onScanResult", 0)) {
            if (System.currentTimeMillis() > end) return false;
            Thread.sleep(1);
        }
        return true;
    }

    public static void main(String[] args) throws Exception {
        int count = Integer.parseInt(args[0]);
        long timeoutMs = Long.parseLong(args[1]);
        BCRScannerController.load();
        BCRScannerController c = new BCRScannerController();
        if (!c.JNI_Init()) fail("JNI_Init");
        long end = System.currentTimeMillis() + HANG_GUARD_MS;
        while (!c.JNI_Get_State()) {
            if (System.currentTimeMillis() > end) fail("the service never became ready");
            Thread.sleep(1);
        }
        if (!c.JNI_CmOpen()) fail("JNI_CmOpen");
        for (int image = 1; image <= count; ++image) {
            if (c.JNI_Scn_IOCtrl(CAMERA_SELECT, image) != 1) {
                System.out.println("image " + image + " unselectable");
                continue;
            }
            // From a frame of this image on, nothing of the one before is in the ring.
            c.JNI_Scn_IOCtrl(CAMERA_WAIT_FRAME, (int) Math.min(HANG_GUARD_MS, Integer.MAX_VALUE));
            BCRScannerController.deliveries.clear();
            if (!start(c)) fail("JNI_CmStartDecode");
            Delivery read = null;
            long until = System.nanoTime() + TimeUnit.MILLISECONDS.toNanos(timeoutMs);
            for (long left = timeoutMs; left > 0 && read == null;
                 left = TimeUnit.NANOSECONDS.toMillis(until - System.nanoTime())) {
                Delivery d = BCRScannerController.deliveries.poll(left, TimeUnit.MILLISECONDS);
                if (d == null) break;
                if (d.event == EVENT_DATA && d.first != null) read = d;
            }
            c.JNI_CmStopDecode(0);
            System.out.println("image " + image + (read == null ? " none" : " " + read.codeType + " " + hex(read.first)));
        }
        c.JNI_CmClose();
        System.out.flush();
        System.exit(0);
    }
}
