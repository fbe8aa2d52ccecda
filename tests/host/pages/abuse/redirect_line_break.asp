<%
' A redirect to a URL the visitor chose, with a header smuggled in.
Response.Redirect "/next.asp?to=" & Request.QueryString("to")
Response.Write "went on"
%>
