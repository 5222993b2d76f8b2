// This host's stand-in of the framework's scanner service class: it loads the scanner
// service library, which registers the natives below on it, and owns the static methods
// the library calls with every decode cycle's result. The methods queue what they receive.
package com.android.server;

import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;

public class BCRScannerController {
    /** One call of a callback method, with the thread it came on. */
    public static final class Delivery {
        public final String method;
        public final int event;
        public final int codeType;
        public final byte[] first;
        public final byte[] second;
        public final int length;
        public final long threadId;
        /** System.nanoTime() at the method's entry. */
        public final long entryNanos;

        Delivery(long entryNanos, String method, int event, int codeType, byte[] first, byte[] second, int length) {
            this.entryNanos = entryNanos;
            this.method = method;
            this.event = event;
            this.codeType = codeType;
            this.first = first;
            this.second = second;
            this.length = length;
            this.threadId = Thread.currentThread().getId();
        }
    }

    public static final BlockingQueue<Delivery> deliveries = new LinkedBlockingQueue<>();

    /** Loads the library; its load registers the natives (an UnsatisfiedLinkError when not). */
    public static void load() {
        System.loadLibrary("zpt-scanner.default");
    }

    public native boolean JNI_Init();
    public native boolean JNI_CmOpen();
    public native boolean JNI_CmClose();
    public native boolean JNI_CmStartDecode(String callbackName, int arg);
    public native boolean JNI_CmStopDecode(int arg);
    public native int JNI_Scn_set(String code, String param, String value);
    public native String JNI_Scn_get(String code, String param);
    public native String JNI_Get_Engine();
    public native int JNI_Get_ScanType();
    public native String JNI_Get_Version();
    public native int JNI_Scn_IOCtrl(int code, int arg);
    public native boolean JNI_Set_Serialno(String serial, int length);
    public native boolean JNI_Get_State();

    /** The usual result method. */
    public static int onScanResult(int event, int codeType, byte[] first, byte[] second, int length) {
        deliveries.add(new Delivery(System.nanoTime(), "onScanResult", event, codeType, first, second, length));
        return 0;
    }

    /** The result method the scanner service names. */
    public static int onScan(int event, int codeType, byte[] first, byte[] second, int length) {
        deliveries.add(new Delivery(System.nanoTime(), "onScan", event, codeType, first, second, length));
        return 0;
    }

    /** A second result method, to see which name a cycle reports to. */
    public static int onScanOther(int event, int codeType, byte[] first, byte[] second, int length) {
        deliveries.add(new Delivery(System.nanoTime(), "onScanOther", event, codeType, first, second, length));
        return 0;
    }

    /** A result method that fails after queueing: the library must clear what it throws. */
    public static int onScanThrow(int event, int codeType, byte[] first, byte[] second, int length) {
        deliveries.add(new Delivery(System.nanoTime(), "onScanThrow", event, codeType, first, second, length));
        throw new IllegalStateException("result refused");
    }
}
