<%
secret = Request.QueryString("email")
Application.Lock
Response.Write secret
%>
